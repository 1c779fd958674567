#include "base/cp1251.h"
#include "base/daycount.h"
#include "base/russian.h"
#include "base/windowplacement.h"

#include <QFile>
#include <QTest>

using namespace dorvan;

class TestBase : public QObject
{
    Q_OBJECT

private slots:
    void dayCountKnownValues_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<double>("days");
        QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
        QTest::newRow("noon 1900-01-01") << QDateTime(QDate(1900, 1, 1), QTime(12, 0)) << 2.5;
        QTest::newRow("2026-12-06 06:00") << QDateTime(QDate(2026, 12, 6), QTime(6, 0)) << 46362.25;
    }
    void dayCountKnownValues()
    {
        QFETCH(QDateTime, moment);
        QFETCH(double, days);
        QCOMPARE(toDayCount(moment), days);
        QCOMPARE(fromDayCount(days), moment);
    }

    void dayCountRoundTripIsExactToTheMillisecond()
    {
        QDateTime moment(QDate(2026, 3, 1), QTime(0, 0));
        for (int i = 0; i < 2000; ++i) {
            moment = moment.addMSecs(43200007 + i * 13);
            QCOMPARE(fromDayCount(toDayCount(moment)), moment);
        }
        QCOMPARE(fromDayCount(toDayCount(QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 999)))),
                 QDateTime(QDate(2026, 3, 1), QTime(23, 59, 59, 999)));
        QVERIFY(!fromDayCount(qQNaN()).isValid());
        QVERIFY(!fromDayCount(7.5e168).isValid()); // from a damaged file
        QVERIFY(!fromDayCount(-1e300).isValid());
    }

    void cp1251RoundTripsEveryConsoleText()
    {
        QFile file(QFINDTESTDATA("data/texts.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList texts = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY(texts.size() > 200);
        for (const QString &text : texts) {
            const QByteArray bytes = toCp1251(text);
            QCOMPARE(bytes.size(), text.size()); // one byte a character
            QCOMPARE(fromCp1251(bytes), text);
        }
    }

    void cp1251KnownBytes()
    {
        QCOMPARE(toCp1251(u"№"), QByteArray("\xB9"));
        QCOMPARE(toCp1251(u"Ё"), QByteArray("\xA8"));
        QCOMPARE(toCp1251(u"ё"), QByteArray("\xB8"));
        QCOMPARE(toCp1251(u"Дорван"), QByteArray("\xC4\xEE\xF0\xE2\xE0\xED"));
    }

    void fixedFieldsAreBounded()
    {
        char field[8];
        toCp1251Field(u"Иванов Пётр", field, sizeof field);
        QCOMPARE(field[7], '\0');
        QCOMPARE(fromCp1251Field(field, sizeof field), QStringLiteral("Иванов "));
        // A field without its terminating zero is read up to its end only.
        const char unterminated[4] = {'\xC0', '\xC1', '\xC2', '\xC3'};
        QCOMPARE(fromCp1251Field(unterminated, 4), QStringLiteral("АБВГ"));
    }

    void russianFormats()
    {
        const double moment = toDayCount(QDateTime(QDate(2026, 12, 6), QTime(14, 3, 27)));
        QCOMPARE(ru::eventTimeText(moment), QStringLiteral("06.12.2026 14:03:27"));
        QCOMPARE(ru::eventTimeText(toDayCount(QDateTime(QDate(2026, 12, 7), QTime(0, 0)))),
                 QStringLiteral("07.12.2026"));
        QCOMPARE(ru::dayOfWeekText(QDate(2026, 12, 6)), QStringLiteral("   Воскресенье"));
        QCOMPARE(ru::dayOfWeekText(QDate(2026, 12, 7)), QStringLiteral("   Понедельник"));
        QCOMPARE(ru::generalNumber(0), QStringLiteral("0"));
        QCOMPARE(ru::generalNumber(12.5), QStringLiteral("12,5"));
        QCOMPARE(ru::generalNumber(double(12.9f)), QStringLiteral("12,8999996185303"));
        QCOMPARE(ru::fixed3(12.5), QStringLiteral("12,500"));
        QCOMPARE(ru::fixed3(0), QStringLiteral("0,000"));
    }

    void parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isInt");
        QTest::addColumn<int>("intValue");
        QTest::addColumn<bool>("isReal");
        QTest::addColumn<double>("realValue");
        QTest::newRow("zero") << "0" << true << 0 << true << 0.0;
        QTest::newRow("leading zeros") << "000482915" << true << 482915 << true << 482915.0;
        QTest::newRow("negative") << "-1" << true << -1 << true << -1.0;
        QTest::newRow("plus") << "+25" << true << 25 << true << 25.0;
        QTest::newRow("comma") << "12,5" << false << 0 << true << 12.5;
        QTest::newRow("point") << "12.5" << false << 0 << false << 0.0;
        QTest::newRow("empty") << "" << false << 0 << false << 0.0;
        QTest::newRow("letters") << "abc" << false << 0 << false << 0.0;
        QTest::newRow("sign only") << "-" << false << 0 << false << 0.0;
        QTest::newRow("too large") << "2147483648" << false << 0 << true << 2147483648.0;
        QTest::newRow("int min") << "-2147483648" << true << INT_MIN << true << -2147483648.0;
        QTest::newRow("blanks") << " 7 " << true << 7 << true << 7.0;
        QTest::newRow("nan") << "nan" << false << 0 << false << 0.0;
    }
    void parsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, isInt);
        QFETCH(int, intValue);
        QFETCH(bool, isReal);
        QFETCH(double, realValue);
        const auto i = ru::parseInt32(text);
        QCOMPARE(i.has_value(), isInt);
        if (isInt)
            QCOMPARE(*i, intValue);
        const auto r = ru::parseReal(text);
        QCOMPARE(r.has_value(), isReal);
        if (isReal)
            QCOMPARE(*r, realValue);
    }

    // A dialog opening beside the alarm window, and the alarm window opening
    // beside a dialog: both always wholly on screen, the dialog uncovered
    // wherever the screen has room for both.
    void windowsBesideTheAlarmWindow_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("dialog");
        QTest::addColumn<bool>("atTopLeft");
        for (const QSize screen : {QSize(1024, 768), QSize(1280, 1024)}) {
            const QString name = QStringLiteral("%1x%2 ").arg(screen.width()).arg(screen.height());
            QTest::newRow(qPrintable(name + "password")) << screen << QSize(411, 148) << false;
            QTest::newRow(qPrintable(name + "threshold")) << screen << QSize(685, 401) << false;
            QTest::newRow(qPrintable(name + "connect")) << screen << QSize(250, 388) << false;
            QTest::newRow(qPrintable(name + "disconnect")) << screen << QSize(273, 287) << true;
            QTest::newRow(qPrintable(name + "file")) << screen << QSize(700, 480) << false;
            QTest::newRow(qPrintable(name + "export file")) << screen << QSize(828, 587) << false;
        }
    }
    void windowsBesideTheAlarmWindow()
    {
        QFETCH(QSize, screen);
        QFETCH(QSize, dialog);
        QFETCH(bool, atTopLeft);
        const QRect area(QPoint(0, 0), screen);
        const auto centred = [&area](QSize size) {
            QRect r(QPoint(), size);
            r.moveCenter(area.center());
            return r;
        };
        const QRect alarm = centred(QSize(898, 455));
        const QRect opening = atTopLeft ? QRect(QPoint(), dialog) : centred(dialog);
        // Room for both: the two side by side or one above the other.
        const QSize frame = alarm.size();
        const bool room = dialog.height() + frame.height() + 16 <= area.height()
                          || dialog.width() + frame.width() + 16 <= area.width();
        const auto check = [&area, room](const QRect &shownDialog, const QRect &shownAlarm) {
            QVERIFY(area.contains(shownDialog));
            QVERIFY(area.contains(shownAlarm));
            QCOMPARE(!shownDialog.intersects(shownAlarm), room);
        };

        for (const placement::Places &places :
             {placement::placeDialog(area, opening, alarm), placement::placeAlarm(area, alarm, opening)})
            check(QRect(places.dialog, dialog), QRect(places.alarm, alarm.size()));
        // A dialog that fits beside the alarm window is left where it opens.
        const bool fits = area.contains(opening) && !opening.intersects(alarm.adjusted(-16, -16, 16, 16));
        QCOMPARE(placement::placeDialog(area, opening, alarm).dialog == opening.topLeft(), fits);
    }

    void windowLargerThanTheScreen()
    {
        const QSize mainWindow(1233, 878);
        QVERIFY(placement::exceedsArea(QRect(0, 0, 1024, 768), mainWindow));
        QVERIFY(!placement::exceedsArea(QRect(0, 0, 1280, 1024), mainWindow));
        QVERIFY(placement::exceedsArea(QRect(0, 0, 1280, 800), mainWindow));
    }
};

QTEST_APPLESS_MAIN(TestBase)
#include "test_base.moc"
