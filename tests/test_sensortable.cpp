#include "sensors/sensortable.h"

#include <QTest>

#include <cstring>

using namespace dorvan;

namespace {

QByteArray bytesOf(const SensorRecord &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

// A record with every byte set, so that a test sees which fields an operation touches.
SensorRecord dirtyRecord()
{
    SensorRecord record;
    std::memset(static_cast<void *>(&record), 0x5A, sizeof record);
    return record;
}

} // namespace

class TestSensorTable : public QObject
{
    Q_OBJECT

private slots:
    void resetGivesMarkOneAndNoOperatorElseZeros()
    {
        SensorTable table;
        table[3] = dirtyRecord();
        table.missedReplies[3] = 7;
        table.Reset_table();
        QByteArray expected(232, '\0');
        expected[0] = 1;
        expected[40] = char(0xFF); // disconnectedBy = -1
        expected[41] = char(0xFF);
        for (int slot = 0; slot < SlotCount; ++slot)
            QCOMPARE(bytesOf(table[slot]), expected);
        QCOMPARE(table.missedReplies[3], qint16(0));
        QCOMPARE(table.Count_sensors(), 0);
    }

    void occupySetsTheConnectionAndClearsTheRest()
    {
        SensorTable table;
        table[5] = dirtyRecord();
        table.Occupy_slot(5, 1234, 1, 3, 46362.5);
        const SensorRecord &r = table[5];
        QCOMPARE(r.recordMark, quint8(1));
        QCOMPARE(r.address, 1234u);
        QCOMPARE(r.model, qint16(1));
        QCOMPARE(r.position, qint16(5));
        QCOMPARE(r.connectedAt, 46362.5);
        QCOMPARE(r.connectedBy, qint16(3));
        QCOMPARE(r.disconnectedAt, 0.0);
        QCOMPARE(r.disconnectedBy, qint16(-1));
        QCOMPARE(r.spare, 0);
        QCOMPARE(r.armed1 + r.armed2, 0);
        QCOMPARE(r.state, 15);
        QCOMPARE(r.alarm1 + r.alarm2, 2);
        // Every byte from 60 on is zero: values, DC components, words and blocks.
        QCOMPARE(bytesOf(r).mid(60), QByteArray(232 - 60, '\0'));
        // The gaps are left as they were: they are not fields.
        QCOMPARE(bytesOf(r)[1], char(0x5A));
        table.Occupy_slot(6, 99, 7, 0, 1.0);
        QCOMPARE(table[6].model, qint16(1)); // any choice but 0 is model 1
    }

    void freeSlotInItsThreeSteps()
    {
        SensorTable table;
        table.Occupy_slot(2, 4711, 0, 1, 100.0);
        table[2].armed1 = 1;
        table[2].thresholdDc1 = 25;
        table.Free_slot_stamp(2, 4, 200.0);
        QCOMPARE(table[2].disconnectedAt, 200.0);
        QCOMPARE(table[2].disconnectedBy, qint16(4));
        QCOMPARE(table[2].connectedAt, 100.0);

        table.Free_slot_reset(2);
        QCOMPARE(table[2].address, 4711u); // still there for the event
        QCOMPARE(table[2].disconnectedBy, qint16(4));
        QCOMPARE(table[2].connectedAt, 0.0);
        QCOMPARE(table[2].armed1, quint8(0));
        QCOMPARE(table[2].thresholdDc1, 0.0f);
        QCOMPARE(table[2].state, 15);

        table.Free_slot_empty(2);
        QCOMPARE(table[2].address, 0u);
        QCOMPARE(table[2].disconnectedAt, 0.0);
        QCOMPARE(table[2].disconnectedBy, qint16(0));
        QVERIFY(!table.occupied(2));
        QCOMPARE(table.Count_sensors(), 0);
    }

    void markNoLinkKeepsGuardAndDcComponents()
    {
        SensorTable table;
        table.Occupy_slot(0, 10, 1, 0, 5.0);
        SensorRecord &r = table[0];
        r.armed1 = 1;
        r.armed2 = 1;
        r.thresholdDc1 = 1.5f;
        r.thresholdDc2 = 2.5f;
        r.state = 0;
        r.alarm1 = r.alarm2 = 0;
        r.threshold1 = r.signal2 = r.signalM0a = 3;
        r.linkUp = 1;
        r.pendingRequest = 193;
        r.spareC[9] = 8;
        table.Mark_no_link();
        QCOMPARE(r.state, 15);
        QCOMPARE(r.alarm1 + r.alarm2, 2);
        QCOMPARE(r.threshold1 + r.signal2 + r.signalM0a, 0.0f);
        QCOMPARE(r.linkUp + r.pendingRequest + r.spareC[9], 0);
        QCOMPARE(r.armed1 + r.armed2, 2);
        QCOMPARE(r.thresholdDc1, 1.5f);
        QCOMPARE(r.thresholdDc2, 2.5f);
        QCOMPARE(r.address, 10u);
        QCOMPARE(r.connectedAt, 5.0);
        QCOMPARE(table[1].state, 15); // empty slots too
    }

    void findSensor()
    {
        SensorTable table;
        QCOMPARE(table.Find_sensor(1), -1);
        table.Occupy_slot(4, 0x1B6, 0, 0, 0);
        table.Occupy_slot(9, 70000, 0, 0, 0); // low 16 bits 4464 must not match
        QCOMPARE(table.Find_sensor(0x1B6), 4);
        QCOMPARE(table.Find_sensor(70000 & 0xFFFF), -1);
        table[4].position = 99; // a damaged record stays inside the table
        QCOMPARE(table.Find_sensor(0x1B6), 4);
    }

    void texts()
    {
        QCOMPARE(stateText(0), QStringLiteral("Норма"));
        QCOMPARE(stateText(9), QStringLiteral("Ошибка ППЗУ"));
        QCOMPARE(stateText(15), QStringLiteral("Нет связи"));
        QCOMPARE(stateText(6), QString());
        QCOMPARE(stateText(0xC6), QString());
        QCOMPARE(modelName(0), QStringLiteral("Дорван-301ДК"));
        QCOMPARE(modelName(5), QStringLiteral("Дорван-302ДК"));
        QCOMPARE(guardText(1), QStringLiteral("Взят"));
        QCOMPARE(guardText(2), QStringLiteral("Снят"));
    }
};

QTEST_APPLESS_MAIN(TestSensorTable)
#include "test_sensortable.moc"
