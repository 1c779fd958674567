#include "events/eventlog.h"

#include "base/daycount.h"
#include "base/regularfile.h"
#include "contextrig.h"
#include "filefaults.h"
#include "logcapture.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace dorvan;
using namespace dorvan::test;

namespace {

struct Fixture : ContextRig
{
    explicit Fixture(bool withDirectories = true) : ContextRig(withDirectories) {}

    EventLog log{ctx};

    EventRecord event(qint32 address, quint8 code, const QString &text) const
    {
        return EventRecord::make(address, toDayCount(clock.now()), code, text);
    }
};

const QString today = QStringLiteral("QReport/06.12.2026");

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private slots:
    void filesGetTheWholeRecord_data()
    {
        QTest::addColumn<bool>("system");
        QTest::addColumn<qint32>("address");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("sensorFile");

        QTest::newRow("model 0") << false << 4711 << 0 << "Dorvan301DK_mess/4711";
        QTest::newRow("model 1") << false << 4711 << 1 << "Dorvan302DK_mess/4711";
        QTest::newRow("any other model") << false << 7 << 5 << "Dorvan302DK_mess/7";
        QTest::newRow("address 0") << false << 0 << 0 << QString();
        QTest::newRow("general event") << true << 4711 << 0 << QString();
    }

    void filesGetTheWholeRecord()
    {
        QFETCH(bool, system);
        QFETCH(qint32, address);
        QFETCH(int, model);
        QFETCH(QString, sensorFile);

        Fixture f;
        const EventRecord record = f.event(address, 33, QStringLiteral("Срабатывание 1 шлейфа"));
        if (system)
            f.log.Put_sys_msg(record);
        else
            f.log.Put_msg(record, qint16(model));

        QByteArray expected = bytesOf(record);
        QCOMPARE(expected.size(), 328);
        QCOMPARE(expected.mid(17, 21), QByteArray(21, '\0'));
        QCOMPARE(readAll(f.dir.file(today)), expected);
        const QStringList sensorFiles = QDir(f.dir.file("Dorvan301DK_mess")).entryList(QDir::Files)
                                        + QDir(f.dir.file("Dorvan302DK_mess")).entryList(QDir::Files);
        if (sensorFile.isEmpty()) {
            QVERIFY(sensorFiles.isEmpty());
        } else {
            QCOMPARE(sensorFiles.size(), 1);
            QCOMPARE(readAll(f.dir.file(sensorFile)), expected);
        }
        QVERIFY(f.reported().isEmpty());
        QCOMPARE(f.log.eventListRows(), 1);
    }

    void eventsAreAppendedInOrder()
    {
        Fixture f;
        const EventRecord first = f.event(12, 16, QStringLiteral("первое"));
        const EventRecord second = f.event(12, 0, QString());
        f.log.Put_msg(first, 1);
        f.log.Put_msg(second, 1);
        QCOMPARE(readAll(f.dir.file("Dorvan302DK_mess/12")), bytesOf(first) + bytesOf(second));
        QCOMPARE(readAll(f.dir.file(today)), bytesOf(first) + bytesOf(second));
        QCOMPARE(f.log.list().cell(1, 2), QString()); // an empty text is still a row
    }

    // An event file is never written through a symlink (its target, anywhere,
    // would be taken for a torn event file and written over) nor into
    // anything but a regular file; it is refused with the reason, left as it
    // is, and the event's other file is still written.
    void eventFilesAreOnlyRegularFiles_data()
    {
        QTest::addColumn<bool>("daily");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("error");
        for (const bool daily : {true, false}) {
            const char *file = daily ? "daily file" : "sensor file";
            QTest::addRow("%s: link to a file outside", file) << daily << "link to a file" << ELOOP;
            QTest::addRow("%s: dangling link", file) << daily << "dangling link" << ELOOP;
            QTest::addRow("%s: link to a FIFO", file) << daily << "link to a FIFO" << ELOOP;
            QTest::addRow("%s: FIFO", file) << daily << "FIFO" << NotRegularFile;
            QTest::addRow("%s: directory", file) << daily << "directory" << EISDIR;
        }
    }

    void eventFilesAreOnlyRegularFiles()
    {
        QFETCH(bool, daily);
        QFETCH(QString, kind);
        QFETCH(int, error);
        ::alarm(30); // a hang ends the test as a failure
        Fixture f;
        const QString path = f.dir.file(daily ? today : QStringLiteral("Dorvan302DK_mess/4711"));
        const QString other = f.dir.file(daily ? QStringLiteral("Dorvan302DK_mess/4711") : today);
        QTemporaryDir outside;
        const QString target = outside.filePath(QStringLiteral("seven"));
        const QByteArray native = QFile::encodeName(path);
        if (kind == "link to a file")
            writeFile(target, "7 bytes");
        if (kind == "link to a FIFO")
            QVERIFY(::mkfifo(QFile::encodeName(target).constData(), 0600) == 0);
        if (kind.startsWith("link") || kind == "dangling link")
            QVERIFY(::symlink(QFile::encodeName(target).constData(), native.constData()) == 0);
        if (kind == "FIFO")
            QVERIFY(::mkfifo(native.constData(), 0600) == 0);
        if (kind == "directory")
            QVERIFY(QDir().mkdir(path));

        const EventRecord record = f.event(4711, 33, QStringLiteral("Срабатывание"));
        f.log.Put_msg(record, 1);
        const QStringList reported = f.reported();
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].contains(fileErrorText(error)), qPrintable(reported[0]));
        QCOMPARE(readAll(other), bytesOf(record));
        if (kind == "link to a file")
            QCOMPARE(readAll(target), QByteArray("7 bytes"));
        if (kind == "dangling link")
            QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(QFileInfo(path).isSymLink(), kind.contains("link"));
        QCOMPARE(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink(), false);
        ::alarm(0);
    }

    void sameAddressOfTwoModelsKeepsTwoFiles()
    {
        Fixture f;
        const EventRecord a = f.event(300, 30, QStringLiteral("a"));
        const EventRecord b = f.event(300, 30, QStringLiteral("b"));
        f.log.Put_msg(a, 0);
        f.log.Put_msg(b, 1);
        QCOMPARE(readAll(f.dir.file("Dorvan301DK_mess/300")), bytesOf(a));
        QCOMPARE(readAll(f.dir.file("Dorvan302DK_mess/300")), bytesOf(b));
    }

    void midnightStartsANewDailyFile()
    {
        Fixture f;
        f.clock.current = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59));
        const EventRecord before = f.event(5, 33, QStringLiteral("до"));
        f.clock.advanceMs(2000);
        // Built before midnight, written after it: the new day's file.
        f.log.Put_msg(before, 0);
        const EventRecord after = f.event(5, 0, QStringLiteral("после"));
        f.log.Put_msg(after, 0);
        QVERIFY(!QFile::exists(f.dir.file(today)));
        QCOMPARE(readAll(f.dir.file("QReport/07.12.2026")), bytesOf(before) + bytesOf(after));
        QCOMPARE(f.log.list().cell(0, 1), QStringLiteral("06.12.2026 23:59:59"));
        QCOMPARE(f.log.list().cell(0, 2), QStringLiteral("07.12.2026 00:00:01"));
    }

    void missingDailyDirectoryIsReportedForEveryEvent()
    {
        Fixture f;
        QVERIFY(QDir(f.dir.path()).rmdir("QReport"));
        const EventRecord record = f.event(9, 15, QStringLiteral("Нет связи"));
        // The operator dismissed the first box before the second event.
        f.log.Put_msg(record, 0);
        f.reported();
        f.log.Put_sys_msg(record);
        const QString text = QStringLiteral("Put_msg: не открылся файл QReport\\06.12.2026");
        QCOMPARE(f.reported(), QStringList({text, text}));
        QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Ошибка"));
        QCOMPARE(f.prompter.shown[0].icon, Prompter::Icon::Error);
        QCOMPARE(f.log.eventListRows(), 2);
        QCOMPARE(readAll(f.dir.file("Dorvan301DK_mess/9")), bytesOf(record));
    }

    void missingSensorDirectoryNamesThePathAndStillWritesTheDay()
    {
        Fixture f;
        QVERIFY(QDir(f.dir.path()).rmdir("Dorvan302DK_mess"));
        const EventRecord record = f.event(9, 15, QStringLiteral("Нет связи"));
        f.log.Put_msg(record, 1);
        QCOMPARE(f.reported(), QStringList(QStringLiteral("Put_msg: не открылся файл ")
                                                 + f.dir.path() + "/Dorvan302DK_mess/9"));
        QCOMPARE(readAll(f.dir.file(today)), bytesOf(record));
        QCOMPARE(f.log.list().cell(1, 1), QStringLiteral("Нет связи"));
    }

    // A record cut short by a power loss is written over by the next event,
    // in the day's file and in a sensor's file alike; the whole records
    // before it stay byte for byte.
    void appendsStartAtARecordBoundary_data()
    {
        QTest::addColumn<int>("tail");
        QTest::newRow("100 bytes") << 100;
        QTest::newRow("one byte short of a record") << 327;
    }

    void appendsStartAtARecordBoundary()
    {
        QFETCH(int, tail);
        Fixture f;
        const EventRecord old = f.event(4711, 30, QStringLiteral("подключён"));
        const QByteArray torn = bytesOf(old) + bytesOf(old).left(tail);
        writeFile(f.dir.file(today), torn);
        writeFile(f.dir.file("Dorvan302DK_mess/4711"), torn);
        const EventRecord first = f.event(4711, 33, QStringLiteral("первое"));
        const EventRecord second = f.event(4711, 0, QStringLiteral("второе"));
        f.log.Put_msg(first, 1);
        f.log.Put_msg(second, 1);
        const QByteArray expected = bytesOf(old) + bytesOf(first) + bytesOf(second);
        QCOMPARE(readAll(f.dir.file(today)), expected);
        QCOMPARE(readAll(f.dir.file("Dorvan302DK_mess/4711")), expected);
        QVERIFY(f.reported().isEmpty());
    }

    // An event that cannot be written whole leaves the file as it was, torn
    // tail and all, and says why; the next one, once there is room, lands on
    // the record boundary. A real failure part-way through the write: the
    // file size limit, and a full file system.
    void failedAppendLeavesTheFileAsItWas_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<QString>("reason");
        QTest::newRow("file size limit") << false << "превышен допустимый размер файла";
        QTest::newRow("full disk") << true << "нет места на диске";
    }

    void failedAppendLeavesTheFileAsItWas()
    {
        QFETCH(bool, fullDisk);
        QFETCH(QString, reason);
        Fixture f;
        std::optional<SmallFileSystem> disk;
        if (fullDisk) {
            disk.emplace(f.dir.path(), 256);
            if (!disk->mounted())
                QSKIP(qPrintable(disk->why()));
            WorkDir::makeDirectories(f.dir.path());
        }
        // 12 records and a torn one: the next record crosses a page boundary.
        QByteArray old;
        for (int i = 0; i < 12; ++i)
            old += bytesOf(f.event(0, 20, QString::number(i)));
        old += QByteArray(100, '\x55');
        writeFile(f.dir.file(today), old);
        const EventRecord lost = f.event(0, 33, QStringLiteral("не записано"));
        {
            std::optional<FileSizeLimit> limit;
            if (fullDisk)
                QVERIFY(disk->fill());
            else
                limit.emplace(old.size() + 160);
            f.log.Put_sys_msg(lost);
        }
        QCOMPARE(readAll(f.dir.file(today)), old);
        QCOMPARE(f.reported(), QStringList(QStringLiteral("Put_msg: не записался файл QReport\\06.12.2026: ") + reason));

        if (disk)
            disk->unfill();
        const EventRecord next = f.event(0, 20, QStringLiteral("записано"));
        f.log.Put_sys_msg(next);
        QCOMPARE(readAll(f.dir.file(today)), old.left(12 * 328) + bytesOf(next));
    }

    // An event a file refused is kept whole in the log, once per refusing
    // file, and names that file; the files that took it get nothing more.
    void refusedEventIsLoggedWhole_data()
    {
        QTest::addColumn<QStringList>("missingDirectories");
        QTest::addColumn<qint64>("sizeLimit");
        QTest::addColumn<QStringList>("refusedBy");

        const QString day = QStringLiteral("QReport\\06.12.2026");
        const QString sensor = QStringLiteral("Dorvan302DK_mess/4711");
        QTest::newRow("no daily directory") << QStringList{"QReport"} << qint64(0) << QStringList{day};
        QTest::newRow("no sensor directory") << QStringList{"Dorvan302DK_mess"} << qint64(0) << QStringList{sensor};
        QTest::newRow("neither") << QStringList{"QReport", "Dorvan302DK_mess"} << qint64(0)
                                 << QStringList{sensor, day};
        QTest::newRow("write cut short") << QStringList() << qint64(100) << QStringList{sensor, day};
        QTest::newRow("written") << QStringList() << qint64(0) << QStringList();
    }

    void refusedEventIsLoggedWhole()
    {
        QFETCH(QStringList, missingDirectories);
        QFETCH(qint64, sizeLimit);
        QFETCH(QStringList, refusedBy);

        Fixture f;
        for (const QString &directory : missingDirectories)
            QVERIFY(QDir(f.dir.path()).rmdir(directory));
        const EventRecord record = f.event(4711, 33, QStringLiteral("Срабатывание 1 шлейфа"));
        LogCapture log;
        {
            std::optional<FileSizeLimit> limit;
            if (sizeLimit > 0)
                limit.emplace(sizeLimit);
            f.log.Put_msg(record, 1);
        }
        const QStringList eventLines = log.linesWith({QStringLiteral("06.12.2026 14:03:27"), QStringLiteral("33"),
                                                      QStringLiteral("4711"), record.textString()});
        QCOMPARE(eventLines.size(), refusedBy.size());
        for (int i = 0; i < refusedBy.size(); ++i) {
            QVERIFY2(eventLines[i].startsWith(QStringLiteral("dorvan.events ")), qPrintable(eventLines[i]));
            QVERIFY2(eventLines[i].contains(refusedBy[i]), qPrintable(eventLines[i]));
        }
    }

    void listRowShowsTimeTextAndCodeColour_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<quint32>("colour");
        QTest::newRow("back to normal") << 0 << Colour::Green;
        QTest::newRow("link restored") << 32 << Colour::Green;
        QTest::newRow("tripped") << 33 << Colour::Red;
        QTest::newRow("fault") << 7 << Colour::Red;
        QTest::newRow("no link") << 15 << Colour::DarkRed;
        QTest::newRow("work") << 20 << Colour::Black;
        QTest::newRow("threshold") << 35 << Colour::Black;
    }

    void listRowShowsTimeTextAndCodeColour()
    {
        QFETCH(int, code);
        QFETCH(quint32, colour);
        Fixture f;
        QCOMPARE(f.log.list().gridRowCount(), 2);
        f.log.Put_sys_msg(f.event(0, quint8(code), QStringLiteral("событие")));
        const TextGridModel &list = f.log.list();
        QCOMPARE(list.gridRowCount(), 3);
        QCOMPARE(list.cell(0, 1), QStringLiteral("06.12.2026 14:03:27"));
        QCOMPARE(list.cell(1, 1), QStringLiteral("событие"));
        QCOMPARE(list.rowStyle(1)->fontColor, colour);
        QCOMPARE(list.rowStyle(1)->background, Colour::InfoBackground);
        QCOMPARE(list.rowStyle(1)->fontName, QStringLiteral("MS Sans Serif"));
        QCOMPARE(list.rowStyle(2)->background, Colour::InfoBackground);
        QCOMPARE(list.cell(1, 2), QString());
    }

    void listKeepsTheLast500WithTheirColours()
    {
        Fixture f;
        QDir(f.dir.path()).rmdir("QReport"); // keep the test quick: no daily file
        for (int i = 1; i <= 499; ++i)
            f.log.Put_sys_msg(f.event(0, 20, QString::number(i)));
        QCOMPARE(f.log.list().gridRowCount(), 501); // the empty row below event 499
        f.log.Put_sys_msg(f.event(0, 15, QStringLiteral("500")));
        const TextGridModel &list = f.log.list();
        QCOMPARE(f.log.eventListRows(), 500);
        QCOMPARE(list.gridRowCount(), 501);
        QCOMPARE(list.cell(1, 500), QStringLiteral("500"));

        f.log.Put_sys_msg(f.event(0, 33, QStringLiteral("501")));
        QCOMPARE(f.log.eventListRows(), 500);
        QCOMPARE(list.gridRowCount(), 501);
        QCOMPARE(list.cell(1, 1), QStringLiteral("2"));
        QCOMPARE(list.cell(1, 499), QStringLiteral("500"));
        QCOMPARE(list.rowStyle(499)->fontColor, Colour::DarkRed);
        QCOMPARE(list.cell(1, 500), QStringLiteral("501"));
        QCOMPARE(list.rowStyle(500)->fontColor, Colour::Red);
        QCOMPARE(list.rowStyle(1)->fontColor, Colour::Black);
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "test_eventlog.moc"
