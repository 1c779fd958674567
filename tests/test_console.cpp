#include "console/console.h"

#include "console/sensorcommands.h"
#include "console/thresholdoffset.h"
#include "test_link_rig.h"

#include "base/daycount.h"
#include "base/russian.h"
#include "testfiles.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>


using namespace dorvan;
using namespace dorvan::test;

namespace {

QByteArray storedRecord(int slot, quint32 address, qint16 model, quint8 armed1, quint8 armed2)
{
    SensorTable table;
    table.Occupy_slot(slot, address, model, 0, 46000.5);
    table[slot].armed1 = armed1;
    table[slot].armed2 = armed2;
    table[slot].thresholdDc1 = 25;
    table[slot].thresholdDc2 = 25;
    table.Mark_no_link();
    return bytesOf(table[slot]);
}

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void firstStartInAnEmptyWorkingDirectory()
    {
        ConsoleRig rig;
        rig.console.FormCreate(rig.dir.path());
        Console &c = rig.console;
        QCOMPARE(rig.parts.captions.text("Label8"), QStringLiteral("Всего датчиков = 0   "));
        QCOMPARE(rig.parts.captions.text(Captions::panel(1)), QStringLiteral("Alt+X-Выход"));
        QCOMPARE(rig.parts.sensorGrid.cell(0, 0), QStringLiteral("№ п/п"));
        QCOMPARE(rig.parts.sensorGrid.cell(11, 0), QStringLiteral("На охране Ш2"));
        QCOMPARE(rig.parts.diagnosticsGrid.cell(7, 0), QStringLiteral("Связь"));
        QCOMPARE(rig.parts.diagnosticsGrid.cell(0, 32), QStringLiteral("32"));
        for (int slot = 0; slot < SlotCount; ++slot) {
            QCOMPARE(rig.rowColor(slot), Colour::Silver);
            QCOMPARE(rig.sensorCell(SensorColumn::Number, slot), QString::number(slot + 1));
            QCOMPARE(rig.sensorCell(SensorColumn::Address, slot), QString());
            QCOMPARE(rig.parts.table[slot].disconnectedBy, qint16(-1));
        }
        QCOMPARE(rig.line.openedName, QStringLiteral("COM1"));
        QCOMPARE(rig.parts.captions.text(Captions::panel(2)), QStringLiteral("COM1 включён"));
        QCOMPARE(readAll(rig.dir.file("data/hw.dat")).size(), 198);
        QVERIFY(QFile::exists(rig.dir.file("data/chop.dat")));

        const QString daily = rig.dir.file("QReport/" + ru::shortDate(rig.clock.current.date()));
        const auto events = readEvents(daily);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].code, EventCode::Work);
        QCOMPARE(events[0].textString(), QStringLiteral("Начало работы"));
        QCOMPARE(c.startTime(), toDayCount(rig.clock.current));
        QVERIFY(rig.reported().isEmpty());
    }

    void portThatDoesNotOpenIsReportedInTheStatusBar()
    {
        ConsoleRig rig;
        rig.line.failOpen = true;
        rig.console.FormCreate(rig.dir.path());
        QCOMPARE(rig.parts.captions.text(Captions::panel(2)), QStringLiteral("COM1 выключен"));
        QVERIFY(!rig.parts.link.timer1Enabled());
        QVERIFY(!rig.parts.link.timerRvEnabled());
        QVERIFY(rig.reported().isEmpty());
    }

    void storedSensorShowsAsNoLinkUntilItAnswers()
    {
        ConsoleRig rig;
        writeFile(rig.dir.file("data/hw.dat"), hwBytes(7, 4711, 1));
        writeFile(rig.dir.file("Dorvan302DK/4711"), storedRecord(7, 4711, 1, 1, 0));
        rig.console.FormCreate(rig.dir.path());
        QCOMPARE(rig.parts.table[7].position, qint16(7));
        QCOMPARE(rig.sensorCell(SensorColumn::Address, 7), QStringLiteral("4711"));
        QCOMPARE(rig.sensorCell(SensorColumn::Model, 7), QStringLiteral("Дорван-302ДК"));
        QCOMPARE(rig.sensorCell(SensorColumn::Loop1, 7), QStringLiteral("Тревога"));
        QCOMPARE(rig.sensorCell(SensorColumn::Loop2, 7), QStringLiteral("Тревога"));
        for (int column : {5, 6, 7, 8})
            QCOMPARE(rig.sensorCell(SensorColumn(column), 7), QStringLiteral("0"));
        QCOMPARE(rig.sensorCell(SensorColumn::State, 7), QStringLiteral("Нет связи"));
        QCOMPARE(rig.sensorCell(SensorColumn::Guard1, 7), QStringLiteral("Взят"));
        QCOMPARE(rig.sensorCell(SensorColumn::Guard2, 7), QStringLiteral("Снят"));
        QCOMPARE(rig.rowColor(7), Colour::DarkRed);
        QCOMPARE(rig.parts.captions.text("Label8"), QStringLiteral("Всего датчиков = 1   "));
        QCOMPARE(rig.parts.diagnosticsGrid.cell(7, 8), QStringLiteral("Нет связи"));
        QCOMPARE(rig.parts.diagnosticsGrid.cell(1, 8), QStringLiteral("0"));
    }

    void shutdownSavesEverySensorAndLogsTheEnd()
    {
        ConsoleRig rig;
        writeFile(rig.dir.file("data/hw.dat"), hwBytes(0, 1001, 0));
        writeFile(rig.dir.file("Dorvan301DK/1001"), storedRecord(0, 1001, 0, 0, 0));
        Console &c = rig.console;
        c.FormCreate(rig.dir.path());
        rig.parts.table[0].state = 0;
        rig.parts.table[0].alarm1 = 0;
        rig.parts.table[0].linkUp = 1;
        rig.parts.table[0].threshold1 = 7;
        rig.parts.sensorCommands.setLoopGuard(0, 2, true);
        QSignalSpy quit(&c, &Console::quitRequested);

        rig.prompter.answers = {false};
        QVERIFY(!c.closeQuery());
        QCOMPARE(rig.prompter.shown.last().text, QStringLiteral("Завершить работу ?"));
        QCOMPARE(rig.prompter.shown.last().caption, QStringLiteral("Выход"));
        QCOMPARE(quit.count(), 0);
        QVERIFY(rig.line.opened);

        rig.prompter.answers = {true};
        QVERIFY(c.closeQuery());
        QCOMPARE(quit.count(), 1);
        QVERIFY(!rig.line.opened);

        const QByteArray file = readAll(rig.dir.file("Dorvan301DK/1001"));
        QCOMPARE(file.size(), 232); // updated in place
        const auto saved = recordAt<SensorRecord>(file);
        QCOMPARE(saved.state, 15);
        QCOMPARE(saved.alarm1 + saved.alarm2, 2);
        QCOMPARE(saved.threshold1, 0.0f);
        QCOMPARE(saved.linkUp, qint16(0));
        QCOMPARE(saved.armed2, quint8(1));
        QCOMPARE(saved.thresholdDc1, 25.0f);

        const auto events = readEvents(rig.dir.file("QReport/" + ru::shortDate(rig.clock.current.date())));
        QVERIFY(events.size() >= 3);
        QCOMPARE(events.last().textString(), QStringLiteral("Выход из программы"));
        QCOMPARE(events.last().code, EventCode::Work);
    }

    void guardCommandsLogAndColour()
    {
        ConsoleRig rig;
        writeFile(rig.dir.file("data/hw.dat"), hwBytes(3, 55, 1));
        writeFile(rig.dir.file("Dorvan302DK/55"), storedRecord(3, 55, 1, 0, 1));
        Console &c = rig.console;
        c.FormCreate(rig.dir.path());
        const int before = rig.parts.events.eventListRows();

        rig.parts.sensorCommands.setLoopGuard(3, 1, true);
        QCOMPARE(rig.parts.table[3].armed1, quint8(1));
        QCOMPARE(rig.sensorCell(SensorColumn::Guard1, 3), QStringLiteral("Взят"));
        QCOMPARE(rig.rowColor(3), Colour::Lime);
        QCOMPARE(rig.parts.events.list().cell(1, before + 1),
                 QStringLiteral("Установка на охрану первого шлейфа датчика <Дорван-302ДК> № 55"));

        rig.parts.sensorCommands.setLoopGuard(3, 1, true); // already armed: nothing
        QCOMPARE(rig.parts.events.eventListRows(), before + 1);

        rig.parts.sensorCommands.setLoopGuard(3, 1, false); // loop 2 still armed: colour stays
        QCOMPARE(rig.rowColor(3), Colour::Lime);
        QCOMPARE(rig.sensorCell(SensorColumn::Guard1, 3), QStringLiteral("Снят"));

        rig.parts.sensorCommands.disarmByAddress(QStringLiteral("55"), 2); // the last armed loop: aqua
        QCOMPARE(rig.parts.table[3].armed2, quint8(0));
        QCOMPARE(rig.rowColor(3), Colour::Aqua);
        QCOMPARE(rig.parts.events.list().cell(1, before + 3),
                 QStringLiteral("Снятие с охраны второго шлейфа датчика <Дорван-302ДК> № 55"));

        for (const char *typed : {"0", "abc", "", "56"})
            rig.parts.sensorCommands.disarmByAddress(QString::fromLatin1(typed), 1);
        QCOMPARE(rig.parts.events.eventListRows(), before + 3);
    }

    void guardCommandsSendNothing()
    {
        ConsoleRig rig;
        writeFile(rig.dir.file("data/hw.dat"), hwBytes(0, 9, 0));
        writeFile(rig.dir.file("Dorvan301DK/9"), storedRecord(0, 9, 0, 0, 0));
        rig.console.FormCreate(rig.dir.path());
        rig.line.written.clear();
        rig.parts.sensorCommands.setLoopGuard(0, 1, true);
        rig.parts.sensorCommands.setLoopGuard(0, 2, true);
        rig.parts.sensorCommands.setLoopGuard(0, 1, false);
        QVERIFY(rig.line.written.isEmpty());
    }

    // A sensor whose last record is damaged (here another sensor's) keeps
    // its row, is polled, but is not sent the DC component it lost; its file
    // stays as found until the operator acts on it: arming alone does not
    // count, setting the DC component or disconnecting does, and then a
    // record is appended after the damaged one.
    void damagedRecordIsKeptUntilTheOperatorActs_data()
    {
        QTest::addColumn<QString>("act");
        QTest::addColumn<int>("records");
        QTest::newRow("nothing") << QString() << 1;
        QTest::newRow("disarming") << "disarm" << 1;
        QTest::newRow("threshold offset") << "threshold" << 2;
        QTest::newRow("disconnection") << "disconnect" << 2;
    }

    void damagedRecordIsKeptUntilTheOperatorActs()
    {
        QFETCH(QString, act);
        QFETCH(int, records);
        ConsoleRig rig;
        writeFile(rig.dir.file("data/hw.dat"), hwBytes(0, 1001, 0));
        const QByteArray foreign = storedRecord(0, 5555, 0, 0, 0);
        writeFile(rig.dir.file("Dorvan301DK/1001"), foreign);
        writeFile(rig.dir.file("data/chop.dat"), operatorRecord("P"));
        Console &c = rig.console;
        c.FormCreate(rig.dir.path());
        QCOMPARE(rig.reported().size(), 1);
        QVERIFY(rig.prompter.shown[0].text.startsWith(QStringLiteral("Ini_sm: повреждена последняя запись файла Dorvan301DK\\1001;")));
        QCOMPARE(rig.sensorCell(SensorColumn::Address, 0), QStringLiteral("1001"));
        QCOMPARE(rig.sensorCell(SensorColumn::State, 0), QStringLiteral("Нет связи"));
        QCOMPARE(rig.sensorCell(SensorColumn::Guard1, 0), QStringLiteral("Взят"));
        QCOMPARE(rig.sensorCell(SensorColumn::Guard2, 0), QStringLiteral("Взят"));

        rig.parts.link.Timer1Timer();
        rig.line.feed(statusM0(1001, 0));
        rig.parts.link.TimerRvTimer();
        QCOMPARE(rig.parts.table[0].linkUp, qint16(1));
        QCOMPARE(rig.parts.table[0].pendingRequest, qint16(0));

        rig.parts.selection.select(1);
        ThresholdOffset offset = rig.thresholdOffset();
        if (act == "disarm") {
            rig.parts.sensorCommands.setLoopGuard(0, 1, false);
        } else if (act == "threshold") {
            offset.FormActivate();
            offset.EditDirect_component_porogExit(QStringLiteral("40"));
            offset.ButtonAcceptClick();
            QCOMPARE(rig.parts.table[0].pendingRequest, Request::SetDcModel0);
        } else if (act == "disconnect") {
            QVERIFY(rig.parts.sensorCommands.acceptDisconnection(rig.parts.selection.selectedRow(), {0}));
        }
        c.shutdown();
        const QByteArray file = readAll(rig.dir.file("Dorvan301DK/1001"));
        QCOMPARE(file.size(), 232 * records);
        QCOMPARE(file.left(232), foreign);
        if (records == 2) {
            const auto appended = recordAt<SensorRecord>(file, 232);
            QCOMPARE(appended.address, 1001u);
            QCOMPARE(appended.thresholdDc1, act == "threshold" ? 40.0f : 0.0f);
            QCOMPARE(appended.disconnectedBy, qint16(act == "disconnect" ? 0 : -1));
        }
    }

    void missingSensorFileDropsTheSensor()
    {
        ConsoleRig rig;
        writeFile(rig.dir.file("data/hw.dat"), hwBytes(2, 77, 0));
        rig.console.FormCreate(rig.dir.path());
        QVERIFY(rig.reported().contains(QStringLiteral("Ini_sm: не открылся файл Dorvan301DK\\77")));
        QVERIFY(!rig.parts.table.occupied(2));
        QCOMPARE(rig.parts.captions.text("Label8"), QStringLiteral("Всего датчиков = 0   "));
        QCOMPARE(readAll(rig.dir.file("data/hw.dat")).mid(12, 4), QByteArray(4, '\0'));
    }
};

QTEST_GUILESS_MAIN(TestConsole)
#include "test_console.moc"
