#include "station/alarmgroups.h"
#include "station/journal.h"
#include "station/models.h"
#include "station/operators.h"
#include "station/station.h"
#include "station/stationconfig.h"
#include "station/widgets/alarmtable.h"
#include "station/widgets/boardview.h"
#include "station/widgets/stationdialogs.h"
#include "station/widgets/stationstart.h"
#include "station/widgets/stationwindow.h"

#include "sound/wavefile.h"

#include "fakes.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>
#include <QStandardItemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <optional>

using namespace dorvan;
using namespace dorvan::station;
using namespace dorvan::test;

namespace {

mqtt::Received message(const QString &topic, const QByteArray &payload, bool retained = false)
{
    return {topic, payload, retained, 1};
}

// A post that is alive and whose sensor 1001 has just tripped loop 1.
QList<mqtt::Received> tripAt(const QString &site, const QDateTime &now, int record, int address = 1001)
{
    const QByteArray time = now.toUTC().toString(Qt::ISODateWithMs).toUtf8();
    const QByteArray id = now.date().toString(QStringLiteral("dd.MM.yyyy")).toUtf8() + '#' + QByteArray::number(record);
    const QByteArray s = site.toUtf8();
    const QByteArray a = QByteArray::number(address);
    return {
        message(QStringLiteral("dorvan/%1/status").arg(site), R"({"state":"online","time":")" + time + R"(","interval":30})", true),
        message(QStringLiteral("dorvan/%1/event").arg(site),
                R"({"id":")" + id + R"(","site":")" + s + R"(","time":")" + time
                    + R"(","code":33,"kind":"alarm","model":"Дорван-301ДК","address":)" + a + R"(,"loop":1,)"
                      R"("text":"Срабатывание 1 шлейфа датчика <Дорван-301ДК> № )" + a + R"("})"),
        message(QStringLiteral("dorvan/%1/sensor/%2/state").arg(site).arg(address),
                R"({"site":")" + s + R"(","address":)" + a + R"(,"model":"Дорван-301ДК","link":"up","loop1":"alarm",)"
                    R"("loop2":"normal","fault":null,"fault_code":null,"changed":")" + time + R"(","event":")" + id + R"("})",
                true),
    };
}

StationSettings settingsIn(const QString &dataDir)
{
    StationSettings settings;
    settings.dataDir = dataDir;
    settings.stationName = QStringLiteral("duty1");
    return settings;
}

struct Fixture
{
    Fixture()
    {
        QString error;
        QVERIFY2(operators.add(QStringLiteral("ivanov"), QStringLiteral("secret"), &error), qPrintable(error));
        QVERIFY2(station.open(&error), qPrintable(error));
        station.setBrokerConnected(true);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    void trip() { station.receive(tripAt(QStringLiteral("post1"), clock.now(), ++record)); }
    bool firstAlarmUnacknowledged() { return station.alarmList().index(0, 0).data(BlinkRole).toBool(); }

    template<typename T>
    T *openDialog() const
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<T *>(widget); dialog && dialog->isVisible())
                return dialog;
        }
        return nullptr;
    }

    QTemporaryDir dir;
    StationSettings settings = settingsIn(dir.path());
    FakeClock clock;
    FakeAlarmSound sound;
    Journal journal{dir.filePath(QStringLiteral("journal.sqlite"))};
    Operators operators{dir.filePath(QStringLiteral("operators"))};
    Station station{{journal, operators, clock, sound, settings}};
    StationWindow window{station};
    int record = 0;
};

} // namespace

class TestStationWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useStationFont(); }

    void newAlarmBringsTheWindowIntoSight_data()
    {
        QTest::addColumn<bool>("minimize");
        QTest::newRow("minimized") << true;
        QTest::newRow("hidden") << false;
    }

    void newAlarmBringsTheWindowIntoSight()
    {
        QFETCH(bool, minimize);
        Fixture f;
        if (minimize)
            f.window.showMinimized();
        else
            f.window.hide();
        QTRY_VERIFY(minimize ? f.window.isMinimized() : !f.window.isVisible());
        f.trip();
        QTRY_VERIFY(f.window.isVisible() && !f.window.isMinimized());
        QCOMPARE(f.station.alarmList().rowCount(), 1);
    }

    // Both ways of acknowledging: without an operator the comment is not
    // even asked for and the alarm stays unacknowledged; signed in, the
    // comment dialog passes it on.
    void acknowledgingNeedsAnOperator_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("row, nobody") << QStringLiteral("acknowledge") << false;
        QTest::newRow("row, signed in") << QStringLiteral("acknowledge") << true;
        QTest::newRow("post, nobody") << QStringLiteral("acknowledgePost") << false;
        QTest::newRow("post, signed in") << QStringLiteral("acknowledgePost") << true;
    }

    void acknowledgingNeedsAnOperator()
    {
        QFETCH(QString, button);
        QFETCH(bool, signedIn);
        Fixture f;
        f.trip();
        QVERIFY(f.firstAlarmUnacknowledged());
        QString error;
        if (signedIn)
            QVERIFY2(f.station.signIn(QStringLiteral("ivanov"), QStringLiteral("secret"), &error), qPrintable(error));
        f.window.alarmTable().selectRow(0);
        f.window.board().setCurrentIndex(f.station.board().index(0, 0));

        QTest::mouseClick(f.window.findChild<QPushButton *>(button), Qt::LeftButton);
        auto *comment = f.openDialog<CommentDialog>();
        QCOMPARE(comment != nullptr, signedIn);
        QCOMPARE(f.openDialog<QMessageBox>() != nullptr, !signedIn);
        if (comment) {
            comment->findChild<QLineEdit *>(QStringLiteral("comment"))->setText(QStringLiteral("проверено нарядом"));
            QTest::mouseClick(comment->findChild<QPushButton *>(QStringLiteral("accept")), Qt::LeftButton);
        }
        QCOMPARE(f.firstAlarmUnacknowledged(), !signedIn);
    }

    // A post's flood is one row, opened by Enter; "Квитировать" on it
    // acknowledges the post's alarms, on one of them that alarm alone.
    void floodRowOpensAndAcknowledges_data()
    {
        QTest::addColumn<bool>("chooseGroup");
        QTest::addColumn<int>("waitingAfter");
        QTest::newRow("the flood's row") << true << 0;
        QTest::newRow("an alarm in it") << false << 11;
    }
    void floodRowOpensAndAcknowledges()
    {
        QFETCH(bool, chooseGroup);
        QFETCH(int, waitingAfter);
        Fixture f;
        QString error;
        QVERIFY2(f.station.signIn(QStringLiteral("ivanov"), QStringLiteral("secret"), &error), qPrintable(error));
        for (int address = 1001; address <= 1012; ++address)
            f.station.receive(tripAt(QStringLiteral("post1"), f.clock.now(), ++f.record, address));
        f.station.receive(tripAt(QStringLiteral("post2"), f.clock.now(), ++f.record));
        AlarmGroupModel &groups = f.station.alarmGroups();
        QCOMPARE(groups.rowCount(), 2);
        const int groupRow = groups.isGroup(groups.index(0, 0)) ? 0 : 1;
        const QModelIndex flood = groups.index(groupRow, 0);
        QVERIFY(groups.isGroup(flood));

        ToneTree &list = f.window.alarmTable();
        list.selectRow(groupRow);
        QVERIFY(!list.visualRect(groups.index(0, 0, flood)).isValid());
        QTest::keyClick(list.viewport(), Qt::Key_Return);
        QVERIFY(list.isExpanded(flood));
        QTRY_VERIFY(list.visualRect(groups.index(11, 0, flood)).isValid());
        QVERIFY(!f.openDialog<CommentDialog>());

        if (!chooseGroup)
            list.selectionModel()->select(groups.index(0, 0, flood), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QTest::mouseClick(f.window.findChild<QPushButton *>(QStringLiteral("acknowledge")), Qt::LeftButton);
        auto *comment = f.openDialog<CommentDialog>();
        QVERIFY(comment);
        QTest::mouseClick(comment->findChild<QPushButton *>(QStringLiteral("accept")), Qt::LeftButton);
        int waiting = 0;
        for (int row = 0; row < groups.rowCount(flood); ++row)
            waiting += groups.index(row, 0, flood).data(BlinkRole).toBool() ? 1 : 0;
        QCOMPARE(waiting, waitingAfter);
    }

    // A blank reason keeps the dialog open; shelved, the alarm moves to the
    // second list, and "Вернуть" brings it back.
    void shelvingAndReturning_data()
    {
        QTest::addColumn<bool>("wholeSensor");
        QTest::newRow("the alarm") << false;
        QTest::newRow("the sensor") << true;
    }
    void shelvingAndReturning()
    {
        QFETCH(bool, wholeSensor);
        Fixture f;
        f.trip();
        QString error;
        QVERIFY2(f.station.signIn(QStringLiteral("ivanov"), QStringLiteral("secret"), &error), qPrintable(error));
        f.window.alarmTable().selectRow(0);

        QTest::mouseClick(f.window.findChild<QPushButton *>(QStringLiteral("shelve")), Qt::LeftButton);
        auto *dialog = f.openDialog<ShelveDialog>();
        QVERIFY(dialog);
        dialog->findChild<QCheckBox *>(QStringLiteral("wholeSensor"))->setChecked(wholeSensor);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("accept")), Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        QCOMPARE(f.station.alarmList().rowCount(), 1);
        dialog->findChild<QLineEdit *>(QStringLiteral("reason"))->setText(QStringLiteral("ремонт шлейфа"));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("accept")), Qt::LeftButton);
        QTRY_VERIFY(!f.openDialog<ShelveDialog>());
        QCOMPARE(f.station.alarmList().rowCount(), 0);
        QCOMPARE(f.station.shelved().rowCount(), 1);

        f.window.shelvedTable().selectRow(0);
        QTest::mouseClick(f.window.findChild<QPushButton *>(QStringLiteral("unshelve")), Qt::LeftButton);
        QCOMPARE(f.station.shelved().rowCount(), 0);
        QVERIFY(f.firstAlarmUnacknowledged());
    }

    // A wrong password leaves the dialog open and nobody signed in.
    void signInDialogKeepsAWrongPasswordOut()
    {
        Fixture f;
        QTest::mouseClick(f.window.findChild<QPushButton *>(QStringLiteral("signIn")), Qt::LeftButton);
        auto *dialog = f.openDialog<SignInDialog>();
        QVERIFY(dialog);
        const auto attempt = [dialog](const QString &password) {
            dialog->findChild<QLineEdit *>(QStringLiteral("name"))->setText(QStringLiteral("ivanov"));
            dialog->findChild<QLineEdit *>(QStringLiteral("password"))->setText(password);
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("accept")), Qt::LeftButton);
        };
        attempt(QStringLiteral("wrong"));
        QVERIFY(dialog->isVisible());
        QVERIFY(f.station.operatorName().isEmpty());
        QVERIFY(dialog->findChild<QLineEdit *>(QStringLiteral("password"))->text().isEmpty());
        attempt(QStringLiteral("secret"));
        QVERIFY(!f.openDialog<SignInDialog>());
        QCOMPARE(f.station.operatorName(), QStringLiteral("ivanov"));
    }

    // The board's tiles at the sizes the board has in a maximized window:
    // every post's name whole on its tile, and at 1280x1024 all 200 posts
    // in sight without scrolling.
    void boardShowsEveryPost_data()
    {
        QTest::addColumn<QSize>("viewport");
        QTest::addColumn<bool>("allInSight");
        QTest::newRow("1280x1024") << QSize(1245, 580) << true;
        QTest::newRow("1024x768") << QSize(990, 430) << false;
    }

    void boardShowsEveryPost()
    {
        QFETCH(QSize, viewport);
        QFETCH(bool, allInSight);
        QStandardItemModel posts;
        for (int i = 1; i <= 200; ++i)
            posts.appendRow(new QStandardItem(QStringLiteral("vostok-%1").arg(i, 3, 10, QLatin1Char('0'))));
        BoardView board;
        board.setModel(&posts);
        board.show();
        board.resize(board.size() + viewport - board.viewport()->size());
        QVERIFY(QTest::qWaitForWindowExposed(&board));
        QCOMPARE(board.viewport()->size(), viewport);

        QFont bold = board.font();
        bold.setBold(true);
        const int nameWidth = QFontMetrics(bold).horizontalAdvance(QStringLiteral("vostok-200"));
        int inSight = 0;
        for (int row = 0; row < posts.rowCount(); ++row) {
            const QRect tile = board.visualRect(posts.index(row, 0));
            QVERIFY2(tile.width() >= nameWidth + 8, qPrintable(QStringLiteral("tile %1 px wide").arg(tile.width())));
            inSight += board.viewport()->rect().contains(tile) ? 1 : 0;
        }
        QCOMPARE(inSight == posts.rowCount(), allInSight);
    }

    // A journal that cannot be written fails at every batch: the operator
    // gets one box, not a pile of them.
    void aJournalFailingAtEveryBatchShowsOneBox()
    {
        Fixture f;
        for (int batch = 0; batch < 3; ++batch)
            emit f.station.journalFailed(QStringLiteral("database or disk is full (batch %1)").arg(batch));
        int boxes = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            boxes += qobject_cast<QMessageBox *>(widget) && widget->isVisible() ? 1 : 0;
        QCOMPARE(boxes, 1);
        QVERIFY(f.openDialog<QMessageBox>()->text().contains(QStringLiteral("batch 2")));
    }

    // The sounds the program finds beside it, as the installed one does:
    // both playable, and not the same sound.
    void packagedSoundsArePlayable()
    {
        const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/dorvan-station/");
        const WaveSound trip = readWave(dir + QStringLiteral("Error.wav"));
        const WaveSound other = readWave(dir + QStringLiteral("Notice.wav"));
        QVERIFY2(trip.playable(), qPrintable(trip.fault));
        QVERIFY2(other.playable(), qPrintable(other.fault));
        QVERIFY(trip.pcm != other.pcm);
    }

    void secondStationOnTheDataDirIsRefused()
    {
        QTemporaryDir dir;
        StationLock first(dir.path());
        StationLock second(dir.path());
        QString refusal;
        QVERIFY2(first.tryLock(&refusal), qPrintable(refusal));
        QVERIFY(!second.tryLock(&refusal));
        QVERIFY2(refusal.contains(QString::number(QCoreApplication::applicationPid())), qPrintable(refusal));
    }

    // The password of --add-operator from a pipe: its first line, without the line end.
    void passwordFromInput_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("password"); // empty: refused
        QTest::newRow("line") << QByteArray("s3cret word\nmore\n") << QStringLiteral("s3cret word");
        QTest::newRow("no line end") << QByteArray("s3cret") << QStringLiteral("s3cret");
        QTest::newRow("windows line end") << QByteArray("s3cret\r\n") << QStringLiteral("s3cret");
        QTest::newRow("cyrillic") << QByteArray("пароль\n") << QStringLiteral("пароль");
        QTest::newRow("empty line") << QByteArray("\nsecond\n") << QString();
        QTest::newRow("nothing") << QByteArray() << QString();
    }

    void passwordFromInput()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, password);
        std::FILE *file = std::tmpfile();
        QVERIFY(file);
        std::fwrite(input.constData(), 1, size_t(input.size()), file);
        std::rewind(file);
        QString error;
        const std::optional<QString> read = readNewPassword(QStringLiteral("ivanov"), file, stderr, &error);
        std::fclose(file);
        QCOMPARE(read.value_or(QString()), password);
        QCOMPARE(error.isEmpty(), !password.isEmpty());
    }
};

QTEST_MAIN(TestStationWindow)
#include "test_station_window.moc"
