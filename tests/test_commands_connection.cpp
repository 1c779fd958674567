// Connecting and disconnecting a sensor from the dialogs' acceptance rules,
// on a console started in a temporary working directory.

#include "console/commands.h"
#include "console/sensorcommands.h"
#include "console/console.h"

#include "consolerig.h"
#include "testfiles.h"

#include <QFile>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

struct Rig : ConsoleRig
{
    explicit Rig(const QStringList &operators = {QStringLiteral("Петров")})
    {
        writeOperators(dir, operators);
        console.FormCreate(dir.path());
        prompter.clear();
    }

    bool connect(int row, const QString &number, int type = 1, int operatorIndex = 0)
    {
        parts.selection.select(row);
        return parts.sensorCommands.acceptConnection(row, {number, type, operatorIndex});
    }
};

const QString wrongNumber = QStringLiteral("Вы ввели ошибочное число; повторите ввод");

} // namespace

class TestCommandsConnection : public QObject
{
    Q_OBJECT

private slots:
    void wrongEntriesAreRefusedAndChangeNothing_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("operatorIndex");
        QTest::addColumn<QString>("message");
        QTest::newRow("no row selected") << 0 << "12" << 0 << selectPositionMessage();
        QTest::newRow("empty") << 3 << "" << 0 << wrongNumber;
        QTest::newRow("letters") << 3 << "12ab" << 0 << wrongNumber;
        QTest::newRow("beyond 32 bits") << 3 << "4294967297" << 0 << wrongNumber;
        QTest::newRow("zero") << 3 << "0" << 0 << "Номер датчика должен быть отличен от нуля";
        // Only 16 bits of an address travel on the line: such a sensor could never answer.
        QTest::newRow("above 65535") << 3 << "65536" << 0 << wrongNumber;
        QTest::newRow("negative") << 3 << "-7" << 0 << wrongNumber;
        QTest::newRow("number in use") << 3 << "500" << 0 << "Датчик с таким номером уже существует!";
        QTest::newRow("no operator") << 3 << "12" << -1 << "Не выбрана фамилия оператора";
    }
    void wrongEntriesAreRefusedAndChangeNothing()
    {
        QFETCH(int, row);
        QFETCH(QString, number);
        QFETCH(int, operatorIndex);
        QFETCH(QString, message);
        Rig rig;
        QVERIFY(rig.connect(1, "500", 0));
        rig.prompter.clear();
        const QStringList eventsBefore = rig.eventTexts();
        const QByteArray hwBefore = [&] {
            QFile file(rig.dir.file("data/hw.dat"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();

        QVERIFY(!rig.connect(row, number, 1, operatorIndex));
        QCOMPARE(rig.prompter.texts(), QStringList{message});
        QCOMPARE(rig.prompter.shown[0].caption, QStringLiteral("Ошибка"));
        QCOMPARE(rig.parts.table.Count_sensors(), 1);
        QVERIFY(!rig.parts.table.occupied(2));
        QCOMPARE(rig.eventTexts(), eventsBefore);
        QFile hw(rig.dir.file("data/hw.dat"));
        QVERIFY(hw.open(QIODevice::ReadOnly));
        QCOMPARE(hw.readAll(), hwBefore);
    }

    void emptyOperatorListRefusesConnection()
    {
        Rig rig(QStringList{});
        QVERIFY(!rig.connect(1, "12", 1, 0));
        QCOMPARE(rig.prompter.texts(), QStringList{"Не выбрана фамилия оператора"});
    }

    void connectionShowsLogsAndSaves()
    {
        Rig rig({QStringLiteral("Иванов"), QStringLiteral("Сидоров")});
        rig.parts.table[6].armed1 = 1;
        const int eventsBefore = rig.eventTexts().size();

        QVERIFY(rig.connect(7, "4711", 1, 1));
        QVERIFY(rig.prompter.texts().isEmpty());
        const SensorRecord &r = rig.parts.table[6];
        QCOMPARE(r.address, 4711u);
        QCOMPARE(r.model, qint16(1));
        QCOMPARE(r.connectedBy, qint16(1));
        QCOMPARE(r.armed1, quint8(0));

        QCOMPARE(rig.eventTexts().mid(eventsBefore),
                 QStringList({"Датчик <Дорван-302ДК> № 4711 подключён. Оператор: Сидоров",
                              "Нет связи с датчиком <Дорван-302ДК> № 4711"}));
        QCOMPARE(rig.rowColor(6), Colour::DarkRed);
        QCOMPARE(rig.sensorCell(SensorColumn::Address, 6), QStringLiteral("4711"));
        QCOMPARE(rig.sensorCell(SensorColumn::Loop1, 6), QStringLiteral("Тревога"));
        QCOMPARE(rig.sensorCell(SensorColumn::Guard1, 6), QStringLiteral("Снят"));
        QCOMPARE(rig.sensorCell(SensorColumn::Guard2, 6), QStringLiteral("Снят"));
        QCOMPARE(rig.parts.diagnosticsGrid.cell(7, 7), QStringLiteral("Нет связи"));
        QCOMPARE(rig.parts.diagnosticsGrid.cell(1, 7), QStringLiteral("0"));
        QCOMPARE(rig.parts.captions.text("Label8"), QStringLiteral("Всего датчиков = 1   "));

        QFile sensorFile(rig.dir.file("Dorvan302DK/4711"));
        QCOMPARE(sensorFile.size(), qint64(sizeof(SensorRecord)));
        QCOMPARE(lastSensorRecord(readAll(sensorFile.fileName())).address, 4711u);

        // The settings file names the sensor: the next run finds it there.
        FakePrompter prompter;
        FakeSerialLine line;
        FakeAlarmSound sound;
        Console nextRun(prompter, rig.clock, line, sound);
        nextRun.FormCreate(rig.dir.path());
        QCOMPARE(nextRun.parts().table[6].address, 4711u);
        QCOMPARE(nextRun.parts().table.Count_sensors(), 1);
    }

    void modelZeroIsChosenByTheFirstItem()
    {
        Rig rig;
        QVERIFY(rig.connect(1, "+17", 0));
        QCOMPARE(rig.parts.table[0].model, qint16(0));
        QCOMPARE(rig.eventTexts().mid(1, 1),
                 QStringList{"Датчик <Дорван-301ДК> № 17 подключён. Оператор: Петров"});
        QVERIFY(QFile::exists(rig.dir.file("Dorvan301DK/17")));
    }

    void disconnectionLogsAndEmptiesTheSlot()
    {
        Rig rig({QStringLiteral("Иванов"), QStringLiteral("Сидоров")});
        QVERIFY(rig.connect(2, "300", 0, 0));
        QVERIFY(rig.connect(3, "301", 1, 0));
        rig.parts.selection.select(2);
        const int eventsBefore = rig.eventTexts().size();
        QCOMPARE(rig.parts.sensorCommands.disconnectTarget(rig.parts.selection.selectedRow()), QStringLiteral("Датчик <Дорван-301ДК> № 300"));

        QVERIFY(rig.parts.sensorCommands.acceptDisconnection(rig.parts.selection.selectedRow(), {1}));
        QVERIFY(rig.parts.sensorCommands.disconnectTarget(rig.parts.selection.selectedRow()).isEmpty());
        QVERIFY(rig.prompter.texts().isEmpty());
        QCOMPARE(rig.eventTexts().mid(eventsBefore),
                 QStringList{"Датчик <Дорван-301ДК> № 300 отключён. Оператор: Сидоров"});
        QVERIFY(!rig.parts.table.occupied(1));
        QCOMPARE(rig.rowColor(1), Colour::Silver);
        QCOMPARE(rig.sensorCell(SensorColumn::Number, 1), QStringLiteral("2"));
        for (int column = 1; column <= 11; ++column)
            QVERIFY(rig.sensorCell(SensorColumn(column), 1).isEmpty());
        for (int column = 1; column <= 9; ++column)
            QVERIFY(rig.parts.diagnosticsGrid.cell(column, 2).isEmpty());
        QCOMPARE(rig.parts.diagnosticsGrid.cell(0, 2), QStringLiteral("2"));
        QCOMPARE(rig.parts.captions.text("Label8"), QStringLiteral("Всего датчиков = 1   "));
        QCOMPARE(rig.parts.selection.selectedRow(), 2);
        QVERIFY(menuEnabling(2, rig.parts.table).PEstablish);

        // The sensor's file keeps one record, now closed by the disconnection.
        QFile sensorFile(rig.dir.file("Dorvan301DK/300"));
        QCOMPARE(sensorFile.size(), qint64(sizeof(SensorRecord)));
        const SensorRecord last = lastSensorRecord(readAll(sensorFile.fileName()));
        QCOMPARE(last.address, 300u);
        QCOMPARE(last.disconnectedBy, qint16(1));
        QVERIFY(last.disconnectedAt > 0);
    }

    void disconnectionRefusals_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("operatorIndex");
        QTest::addColumn<QString>("message");
        QTest::newRow("no operator") << 1 << -1 << "Не выбрана фамилия";
        QTest::newRow("no row") << 0 << 0 << "В этой позиции датчик не установлен!";
        QTest::newRow("empty slot") << 5 << 0 << "В этой позиции датчик не установлен!";
    }
    void disconnectionRefusals()
    {
        QFETCH(int, row);
        QFETCH(int, operatorIndex);
        QFETCH(QString, message);
        Rig rig;
        QVERIFY(rig.connect(1, "9"));
        rig.prompter.clear();
        rig.parts.selection.select(row);
        QVERIFY(!rig.parts.sensorCommands.acceptDisconnection(rig.parts.selection.selectedRow(), {operatorIndex}));
        QCOMPARE(rig.prompter.texts(), QStringList{message});
        QVERIFY(rig.parts.table.occupied(0));
    }

    void reconnectingTheSameNumberAppendsToItsFile()
    {
        Rig rig;
        QVERIFY(rig.connect(1, "42"));
        QVERIFY(rig.parts.sensorCommands.acceptDisconnection(rig.parts.selection.selectedRow(), {0}));
        QVERIFY(rig.connect(1, "42"));
        QCOMPARE(QFile(rig.dir.file("Dorvan302DK/42")).size(), qint64(2 * sizeof(SensorRecord)));
    }
};

QTEST_GUILESS_MAIN(TestCommandsConnection)
#include "test_commands_connection.moc"
