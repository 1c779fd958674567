// Reply decoding: state codes, loop alarms, events, alarm window, row
// colours and values.

#include "test_link_rig.h"

#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

const QString normal = QStringLiteral("Норма");
const QString alarmOn = QStringLiteral("Тревога");

// A sensor with its link up, standing normal, shown normal.
SensorRecord &standing(LinkRig &rig, qint16 model, bool armed1, bool armed2)
{
    SensorRecord &r = rig.linked(0, 5, model);
    r.armed1 = armed1 ? 1 : 0;
    r.armed2 = armed2 ? 1 : 0;
    rig.sensorGrid.setRowBackground(1, Colour::Lime);
    for (int column : {3, 4, 9})
        rig.sensorGrid.setCell(column, 1, normal);
    return r;
}

QByteArray statusFor(qint16 model, quint8 status)
{
    return model == 0 ? statusM0(5, status) : statusM1(5, status);
}

} // namespace

class TestDecoder : public QObject
{
    Q_OBJECT

private slots:
    void statusByte_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("armed1");
        QTest::addColumn<bool>("armed2");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("state");
        QTest::addColumn<quint32>("colour");
        QTest::addColumn<QStringList>("cells"); // columns 3, 4, 9
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("alarms");

        const QStringList allNormal{normal, normal, normal};
        QTest::newRow("0x80 armed") << 1 << true << false << 0x80 << 0 << Colour::AlarmRed
                                    << QStringList{alarmOn, normal, normal}
                                    << QStringList{"Срабатывание 1 шлейфа датчика <Дорван-302ДК> № 5"}
                                    << 1;
        QTest::newRow("0x80 unarmed") << 1 << false << true << 0x80 << 0 << Colour::AlarmRed
                                      << QStringList{alarmOn, normal, normal} << QStringList{}
                                      << 0;
        QTest::newRow("0x40 armed, model 0")
            << 0 << false << true << 0x40 << 0 << Colour::AlarmRed
            << QStringList{normal, alarmOn, normal}
            << QStringList{"Срабатывание 2 шлейфа датчика <Дорван-301ДК> № 5"} << 1;
        QTest::newRow("0x09 disarmed") << 1 << false << false << 0x09 << 9 << Colour::AlarmRed
                                       << QStringList{normal, normal, "Ошибка ППЗУ"}
                                       << QStringList{"Ошибка ППЗУ датчика <Дорван-302ДК> № 5"}
                                       << 1;
        QTest::newRow("0x09 model 0") << 0 << false << false << 0x09 << 9 << Colour::AlarmRed
                                      << QStringList{normal, normal, "Ошибка ППЗУ"}
                                      << QStringList{"Ошибка ППЗУ датчика <Дорван-301ДК> № 5"}
                                      << 1;
        QTest::newRow("0x49") << 1 << false << false << 0x49 << 9 << Colour::AlarmRed
                              << QStringList{normal, alarmOn, "Ошибка ППЗУ"}
                              << QStringList{"Ошибка ППЗУ датчика <Дорван-302ДК> № 5"} << 1;
        QTest::newRow("0x49 loop 2 armed")
            << 1 << false << true << 0x49 << 9 << Colour::AlarmRed
            << QStringList{normal, alarmOn, "Ошибка ППЗУ"}
            << QStringList{"Ошибка ППЗУ датчика <Дорван-302ДК> № 5",
                           "Срабатывание 2 шлейфа датчика <Дорван-302ДК> № 5"}
            << 2;
        QTest::newRow("0x06 unlisted") << 1 << true << true << 0x06 << 6 << Colour::Lime
                                       << QStringList{normal, normal, ""} << QStringList{} << 0;
        QTest::newRow("0xC6 kept whole") << 1 << false << false << 0xC6 << 0xC6
                                         << Colour::AlarmRed
                                         << QStringList{alarmOn, alarmOn, ""} << QStringList{}
                                         << 0;
        QTest::newRow("fault 2 from model 0, loop 1 armed")
            << 0 << true << false << 0x02 << 2 << Colour::AlarmRed
            << QStringList{normal, normal, "Сопр.изол.ЧЭ1 ниже нормы"}
            << QStringList{"Сопротивление изоляции первого чувствительного элемента датчика "
                           "<Дорван-302ДК> № 5 ниже нормы"}
            << 1;
        QTest::newRow("fault 3, only loop 1 armed")
            << 1 << true << false << 0x03 << 3 << Colour::AlarmRed
            << QStringList{normal, normal, "Сопр.изол.ЧЭ2 ниже нормы"}
            << QStringList{"Сопротивление изоляции второго чувствительного элемента датчика "
                           "<Дорван-302ДК> № 5 ниже нормы"}
            << 0;
        QTest::newRow("fault 4") << 1 << true << false << 0x04 << 4 << Colour::AlarmRed
                                 << QStringList{normal, normal, "Обрыв ЧЭ 1"}
                                 << QStringList{"Обрыв чувствительного элемента первого фланга "
                                                "датчика <Дорван-302ДК> № 5"}
                                 << 1;
        QTest::newRow("fault 5") << 1 << false << true << 0x05 << 5 << Colour::AlarmRed
                                 << QStringList{normal, normal, "Обрыв ЧЭ 2"}
                                 << QStringList{"Обрыв чувствительного элемента второго фланга "
                                                "датчика <Дорван-302ДК> № 5"}
                                 << 1;
        QTest::newRow("fault 7 from model 1")
            << 1 << true << false << 0x07 << 7 << Colour::AlarmRed
            << QStringList{normal, normal, "Разбаланс фл.(1>2)"}
            << QStringList{"Недопустимый разбаланс флангов датчика <Дорван-301ДК> № 5. "
                           "Ёмкость 1 фл. больше ёмкости 2"}
            << 1;
        QTest::newRow("fault 8") << 0 << false << false << 0x08 << 8 << Colour::AlarmRed
                                 << QStringList{normal, normal, "Разбаланс фл.(2>1)"}
                                 << QStringList{"Недопустимый разбаланс флангов датчика "
                                                "<Дорван-301ДК> № 5. Ёмкость 2 фл. больше "
                                                "ёмкости 1"}
                                 << 0;
        QTest::newRow("fault 10") << 1 << true << false << 0x0A << 10 << Colour::AlarmRed
                                  << QStringList{normal, normal,
                                                 "Сопр.изол.ЧЭ1 ниже нормы. Обрыв ЧЭ1"}
                                  << QStringList{"Сопротивление изоляции первого ЧЭ датчика "
                                                 "<Дорван-302ДК> № 5 ниже нормы. Обрыв первого ЧЭ"}
                                  << 1;
        QTest::newRow("fault 11") << 1 << false << true << 0x0B << 11 << Colour::AlarmRed
                                  << QStringList{normal, normal,
                                                 "Сопр.изол.ЧЭ2 ниже нормы. Обрыв ЧЭ2"}
                                  << QStringList{"Сопротивление изоляции второго ЧЭ датчика "
                                                 "<Дорван-302ДК> № 5 ниже нормы. Обрыв второго ЧЭ"}
                                  << 1;
    }
    void statusByte()
    {
        QFETCH(int, model);
        QFETCH(bool, armed1);
        QFETCH(bool, armed2);
        QFETCH(int, status);
        QFETCH(QStringList, cells);
        QFETCH(int, alarms);
        LinkRig rig;
        SensorRecord &r = standing(rig, qint16(model), armed1, armed2);
        QVERIFY(rig.open());

        // The second identical reply changes nothing.
        for (int round = 0; round < 2; ++round) {
            rig.tick();
            rig.receive(statusFor(qint16(model), quint8(status)));
            rig.tick();
            QTEST(r.state, "state");
            QTEST(rig.rowColour(0), "colour");
            QCOMPARE((QStringList{rig.sensorCell(SensorColumn::Loop1, 0), rig.sensorCell(SensorColumn::Loop2, 0), rig.sensorCell(SensorColumn::State, 0)}),
                     cells);
            QTEST(rig.eventTexts(), "events");
            QCOMPARE(rig.alarms.alarmCount(), alarms);
            QCOMPARE(rig.sound.starts, alarms > 0 ? 1 : 0);
        }
    }

    void backFromNoLinkAndLoopsReturning()
    {
        LinkRig rig;
        SensorRecord &r = rig.connect(0, 5, 0);
        r.armed1 = 1;
        rig.sensorGrid.setRowBackground(1, Colour::DarkRed);
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM0(5, 0x00));
        QCOMPARE(r.state, 0);
        QCOMPARE(rig.rowColour(0), Colour::Lime);
        QCOMPARE(rig.sensorCell(SensorColumn::Loop1, 0), normal);
        QCOMPARE(rig.sensorCell(SensorColumn::Loop2, 0), normal);
        QCOMPARE(rig.sensorCell(SensorColumn::State, 0), normal);
        // Loop 2 is not armed: its return is not logged.
        QCOMPARE(rig.eventTexts(),
                 (QStringList{"Восстановлена связь с датчиком <Дорван-301ДК> № 5",
                              "Возврат в дежурное состояние датчика <Дорван-301ДК> № 5",
                              "Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № 5"}));

        rig.tick();
        rig.pollAndAnswer(statusM0(5, 0xC0));
        QCOMPARE(rig.rowColour(0), Colour::AlarmRed);
        QCOMPARE(rig.lastEvent(), QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № 5"));
        rig.tick();
        rig.pollAndAnswer(statusM0(5, 0x40));
        // Loop 1 is back but loop 2 still trips: the row stays red.
        QCOMPARE(rig.rowColour(0), Colour::AlarmRed);
        QCOMPARE(rig.lastEvent(), QStringLiteral("Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № 5"));
        rig.tick();
        const int events = rig.eventCount();
        rig.pollAndAnswer(statusM0(5, 0x00));
        QCOMPARE(rig.rowColour(0), Colour::Lime);
        QCOMPARE(rig.eventCount(), events);
        QCOMPARE(rig.alarms.alarmCount(), 1);
    }

    // A loop that tripped while the sensor was silent: the first status once
    // the link is back logs and raises it, though the loss already shows
    // "Тревога"; the unarmed loop stays unlogged.
    void tripWhileTheLinkWasDown()
    {
        LinkRig rig;
        SensorRecord &r = rig.connect(0, 5, 1);
        r.armed1 = 1;
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM1(5, 0xC0));
        QCOMPARE(rig.eventTexts(),
                 (QStringList{"Восстановлена связь с датчиком <Дорван-302ДК> № 5",
                              "Срабатывание 1 шлейфа датчика <Дорван-302ДК> № 5"}));
        QCOMPARE(rig.alarms.alarmCount(), 1);
        rig.tick();
        rig.pollAndAnswer(statusM1(5, 0xC0));
        QCOMPARE(rig.eventCount(), 2);
    }

    // Who follows a sensor hears of what changed, once per change: the link
    // coming back, a trip, nothing for a reply that changes nothing, the loss.
    void changeNoticesFollowTheSensor()
    {
        LinkRig rig;
        rig.connect(0, 5, 0).armed1 = 1;
        QList<SensorChanges> heard;
        QObject::connect(&rig.table, &SensorTable::changed, [&heard](int slot, SensorChanges what) {
            QCOMPARE(slot, 0);
            heard << what;
        });
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM0(5, 0x00));
        QCOMPARE(heard, (QList<SensorChanges>{SensorChange::Link, SensorChange::State}));
        heard.clear();
        rig.tick();
        rig.pollAndAnswer(statusM0(5, 0x00));
        QVERIFY(heard.isEmpty());
        rig.tick();
        rig.pollAndAnswer(statusM0(5, 0x80));
        QCOMPARE(heard, QList<SensorChanges>{SensorChange::State});
        heard.clear();
        for (int tick = 0; tick < 3 * Link::LINK_LOSS_MISSES && heard.isEmpty(); ++tick)
            rig.tick();
        QCOMPARE(heard, QList<SensorChanges>{SensorChange::Link | SensorChange::State});
    }

    void faultClearedByNormalStatus()
    {
        LinkRig rig;
        SensorRecord &r = standing(rig, 1, false, false);
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM1(5, 0x04));
        rig.tick();
        rig.pollAndAnswer(statusM1(5, 0x00));
        QCOMPARE(r.state, 0);
        QCOMPARE(rig.rowColour(0), Colour::Aqua);
        QCOMPARE(rig.lastEvent(),
                 QStringLiteral("Возврат в дежурное состояние датчика <Дорван-302ДК> № 5"));
    }

    void model0ValuesAreIntegers()
    {
        LinkRig rig;
        SensorRecord &r = standing(rig, 0, false, false);
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM0(5, 0, 100, 7));
        QCOMPARE(r.threshold1, 100.f);
        QCOMPARE(r.threshold2, 100.f);
        QCOMPARE(r.signalM0b, 7.f);
        QCOMPARE(rig.sensorCell(SensorColumn::Threshold1, 0), QStringLiteral("100"));
        QCOMPARE(rig.sensorCell(SensorColumn::Threshold2, 0), QStringLiteral("100"));
        QCOMPARE(rig.sensorCell(SensorColumn::Signal2, 0), QStringLiteral("7"));

        // Same threshold, new signal: only the signal columns are written.
        rig.sensorGrid.setCell(5, 1, QStringLiteral("kept"));
        rig.sensorGrid.setCell(7, 1, QStringLiteral("kept"));
        rig.tick();
        rig.pollAndAnswer(statusM0(5, 0, 100, 65535));
        QCOMPARE(rig.sensorCell(SensorColumn::Threshold1, 0), QStringLiteral("kept"));
        QCOMPARE(rig.sensorCell(SensorColumn::Threshold2, 0), QStringLiteral("kept"));
        QCOMPARE(rig.sensorCell(SensorColumn::Signal1, 0), QStringLiteral("65535"));
        QCOMPARE(rig.sensorCell(SensorColumn::Signal2, 0), QStringLiteral("65535"));
    }

    void model1ValuesHaveThreeDecimals()
    {
        LinkRig rig;
        SensorRecord &r = standing(rig, 1, false, false);
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM1(5, 0, 1.5f, 2.25f, -3.f, 1234.5678f));
        QCOMPARE(r.threshold2, 2.25f);
        QCOMPARE(r.signal1, -3.f);
        QCOMPARE((QStringList{rig.sensorCell(SensorColumn::Threshold1, 0), rig.sensorCell(SensorColumn::Signal1, 0), rig.sensorCell(SensorColumn::Threshold2, 0),
                              rig.sensorCell(SensorColumn::Signal2, 0)}),
                 (QStringList{"1,500", "-3,000", "2,250", "1234,568"}));
        rig.sensorGrid.setCell(5, 1, QStringLiteral("kept"));
        rig.tick();
        rig.pollAndAnswer(statusM1(5, 0, 1.5f, 2.25f, -3.f, 7.f));
        QCOMPARE(rig.sensorCell(SensorColumn::Threshold1, 0), QStringLiteral("kept"));
        QCOMPARE(rig.sensorCell(SensorColumn::Signal2, 0), QStringLiteral("7,000"));
    }

    void valuesOnlyFromTheSensorsOwnCode()
    {
        LinkRig rig;
        SensorRecord &r = standing(rig, 0, false, false);
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM1(5, 0x09, 1.f, 2.f, 3.f, 4.f));
        QCOMPARE(r.state, 9);
        QCOMPARE(r.threshold1, 0.f);
        QCOMPARE(r.signal1, 0.f);
    }

    void shortFrameGivesNoValues()
    {
        LinkRig rig;
        SensorRecord &r = standing(rig, 1, false, false);
        r.threshold1 = 42.f;
        QVERIFY(rig.open());
        // Status byte only: the state counts, the checksum is no threshold.
        rig.pollAndAnswer(reply(5, Frame::RPL_STATUS_M1, QByteArray(1, '\x05')));
        QCOMPARE(rig.link.statistics().slotStats(0).rxFrames, 1);
        QCOMPARE(r.state, 5);
        QCOMPARE(r.threshold1, 42.f);
        // No status byte at all: nothing.
        rig.tick();
        rig.pollAndAnswer(reply(5, Frame::RPL_STATUS_M1, QByteArray()));
        QCOMPARE(rig.link.statistics().slotStats(0).rxFrames, 2);
        QCOMPARE(r.state, 5);
    }

    void acknowledgementEndsTheSetRequest()
    {
        LinkRig rig;
        SensorRecord &r = standing(rig, 0, false, false);
        r.pendingRequest = Request::SetDcModel0;
        QVERIFY(rig.open());
        rig.pollAndAnswer(statusM0(5, 0));
        QCOMPARE(r.pendingRequest, Request::SetDcModel0);
        rig.tick();
        rig.pollAndAnswer(ack(5));
        QCOMPARE(r.pendingRequest, Request::Poll);
        QCOMPARE(r.state, 0);
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "test_decoder.moc"
