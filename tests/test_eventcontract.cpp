// The console and the uplink read one catalog of event texts: every text
// reads back through its pattern, and the events a console writes (its
// commands, its line) make the uplink derive the state the console shows.

#include "console/sensorcommands.h"
#include "console/thresholdoffset.h"
#include "events/eventcatalog.h"
#include "uplink/sensorstates.h"

#include "consolerig.h"
#include "test_link_rig.h"
#include "uplinkstates.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;
using namespace dorvan::uplink;

namespace {

constexpr quint16 Address = 1001;

// A console with one sensor in row 1, driven step by step.
struct Post : ConsoleRig
{
    explicit Post(int model) : model(model)
    {
        writeOperators(dir, {QStringLiteral("Петров")});
        console.FormCreate(dir.path());
    }

    void step(const QString &name)
    {
        if (name == u"connect") {
            parts.selection.select(1);
            QVERIFY(parts.sensorCommands.acceptConnection(1, {QString::number(Address), model, 0}));
        } else if (name.startsWith(u"status:")) {
            answer(quint8(name.mid(7).toUInt(nullptr, 16)));
        } else if (name.startsWith(u"arm") || name.startsWith(u"disarm")) {
            parts.sensorCommands.setLoopGuard(0, name.right(1).toInt(), name.startsWith(u"arm"));
        } else if (name.startsWith(u"threshold")) {
            changeThreshold(name.right(1).toInt());
        } else if (name == u"silence") {
            for (int tick = 0; tick < 20; ++tick)
                parts.link.Timer1Timer();
        } else if (name == u"disconnect") {
            QVERIFY(parts.sensorCommands.acceptDisconnection(1, {0}));
        } else if (name == u"close") {
            console.shutdown();
        } else {
            QFAIL(qPrintable(QStringLiteral("no step ") + name));
        }
    }

    // The sensor is polled and answers with this status byte.
    void answer(quint8 status)
    {
        line.written.clear();
        for (int tick = 0; tick < 4 && line.written.isEmpty(); ++tick)
            parts.link.Timer1Timer();
        line.feed(model == 0 ? statusM0(Address, status) : statusM1(Address, status));
        parts.link.TimerRvTimer();
    }

    // flank 0: the one threshold of a Дорван-301ДК.
    void changeThreshold(int flank)
    {
        ThresholdOffset offset = thresholdOffset();
        parts.selection.select(1);
        offset.FormActivate();
        if (flank == 0)
            offset.EditDirect_component_porogExit(QStringLiteral("40"));
        else
            offset.EditDirect_component_porogFlankExit(flank, QStringLiteral("0,5"));
        offset.ButtonAcceptClick();
    }

    // The records of the daily file, as the uplink reads them.
    QList<StampedRecord> dailyRecords() const
    {
        QList<StampedRecord> records;
        const QDir daily(dir.file(QStringLiteral("QReport")));
        for (const QString &name : daily.entryList(QDir::Files)) {
            QFile file(daily.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            EventRecord record;
            while (file.read(reinterpret_cast<char *>(&record), sizeof record) == qint64(sizeof record))
                records.append({{QDate(), records.size()}, record, record.textString()});
        }
        return records;
    }

    int model;
};

int payloadLoop(const StampedRecord &stamped, const SensorStates &states)
{
    const QByteArray payload = eventPayload(stamped, QStringLiteral("post1"), states.modelFor(stamped), QTimeZone::utc());
    return QJsonDocument::fromJson(payload).object().value(QStringLiteral("loop")).toInt();
}

} // namespace

class TestEventContract : public QObject
{
    Q_OBJECT

private slots:
    // Every text of the catalog, filled and read back.
    void catalogTextsReadBack_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("model");
        for (std::size_t row = 0; row < eventEntries().size(); ++row) {
            if (eventEntries()[row].pattern.empty())
                continue;
            for (int model : {0, 1})
                QTest::addRow("row %zu, model %d", row, model) << int(row) << model;
        }
    }

    void catalogTextsReadBack()
    {
        QFETCH(int, row);
        QFETCH(int, model);
        const EventEntry &entry = eventEntries()[std::size_t(row)];
        const int loop = entry.loop == TextLoop::Named ? 2 : entry.loop == TextLoop::First ? 1 : entry.loop == TextLoop::Second ? 2 : 0;
        const QString text = eventText(entry.text, {loop, model, 4711, QStringLiteral("Иванов И. И.")});

        const std::optional<ParsedEvent> parsed = parseEventText(entry.code, text);
        QVERIFY2(parsed, qPrintable(text));
        QCOMPARE(int(parsed->text), int(entry.text));
        QCOMPARE(parsed->loop, loop);
        QCOMPARE(parsed->address, entry.model == TextModel::None ? 0 : 4711);
        QCOMPARE(parsed->namesOwnModel, entry.model == TextModel::Own);
        if (entry.model == TextModel::Own)
            QCOMPARE(parsed->model, model);
        if (text.contains(QStringLiteral("Иванов")))
            QCOMPARE(parsed->operatorName, QStringLiteral("Иванов И. И."));
        // A code's text is no other code's.
        const int other = entry.code == EventCode::Tripped ? EventCode::BackToNormal : EventCode::Tripped;
        QVERIFY(!parseEventText(other, text));
    }

    // What the uplink derives from the records the console wrote: the state
    // of the sensor, and the loop its last event is sent with.
    void uplinkFollowsTheConsole_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("lastLoop");

        QTest::newRow("connected") << 0 << "connect" << "model=0 link=lost loop1=disarmed loop2=disarmed fault=-1" << 0;
        QTest::newRow("link restored") << 1 << "connect status:00"
                                       << "model=1 link=up loop1=disarmed loop2=disarmed fault=-1" << 0;
        QTest::newRow("armed") << 0 << "connect status:00 arm2" << "model=0 link=up loop1=disarmed loop2=normal fault=-1" << 2;
        QTest::newRow("armed loop trips") << 0 << "connect status:00 arm1 status:80"
                                          << "model=0 link=up loop1=alarm loop2=disarmed fault=-1" << 1;
        QTest::newRow("and returns") << 1 << "connect status:00 arm2 status:40 status:00"
                                     << "model=1 link=up loop1=disarmed loop2=normal fault=-1" << 2;
        QTest::newRow("disarmed in alarm") << 0 << "connect status:00 arm1 status:80 disarm1"
                                           << "model=0 link=up loop1=disarmed loop2=disarmed fault=-1" << 1;
        // The element's fault texts name Дорван-302ДК whatever the sensor is.
        QTest::newRow("element fault") << 0 << "connect status:00 status:04"
                                       << "model=0 link=up loop1=disarmed loop2=disarmed fault=4" << 1;
        QTest::newRow("fault of loop 2") << 1 << "connect status:00 status:0b"
                                         << "model=1 link=up loop1=disarmed loop2=disarmed fault=11" << 2;
        QTest::newRow("EEPROM error") << 1 << "connect status:00 status:09"
                                      << "model=1 link=up loop1=disarmed loop2=disarmed fault=9" << 0;
        QTest::newRow("fault cleared") << 1 << "connect status:00 status:02 status:00"
                                       << "model=1 link=up loop1=disarmed loop2=disarmed fault=-1" << 0;
        QTest::newRow("link lost while armed") << 0 << "connect status:00 arm1 silence"
                                               << "model=0 link=lost loop1=alarm loop2=disarmed fault=-1" << 0;
        QTest::newRow("threshold of flank 2") << 1 << "connect status:00 threshold2"
                                              << "model=1 link=up loop1=disarmed loop2=disarmed fault=-1" << 2;
        QTest::newRow("threshold of a 301") << 0 << "connect status:00 threshold0"
                                            << "model=0 link=up loop1=disarmed loop2=disarmed fault=-1" << 0;
        QTest::newRow("console closed") << 0 << "connect status:00 arm1 close"
                                        << "model=0 link=lost loop1=alarm loop2=disarmed fault=-1" << 0;
        QTest::newRow("disconnected") << 0 << "connect status:00 disconnect" << "removed" << 0;
    }

    void uplinkFollowsTheConsole()
    {
        QFETCH(int, model);
        QFETCH(QString, steps);
        Post post(model);
        for (const QString &step : steps.split(u' '))
            post.step(step);

        SensorStates states;
        const QList<StampedRecord> records = post.dailyRecords();
        QVERIFY(!records.isEmpty());
        for (const StampedRecord &stamped : records) {
            // Every record the console writes is one of the catalog's texts.
            QVERIFY2(parseEventText(stamped.record.code, stamped.text), qPrintable(stamped.text));
            states.apply(stamped);
        }
        QTEST(summary(states, Address), "state");
        QTEST(payloadLoop(records.last(), states), "lastLoop");
    }
};

QTEST_GUILESS_MAIN(TestEventContract)
#include "test_eventcontract.moc"
