#pragma once

// A station on fakes over a real journal in a temporary directory, and the
// messages a post's uplink sends, for the station's tests.
#include "fakes.h"
#include "station/station.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace dorvan::test {

class StationRig
{
public:
    StationRig() : journal(dir.path() + QStringLiteral("/journal.sqlite")), operators(dir.path() + QStringLiteral("/operators"))
    {
        settings.dataDir = dir.path();
        settings.stationName = QStringLiteral("duty-room");
        settings.tripSound = QStringLiteral("trip.wav");
        settings.otherSound = QStringLiteral("other.wav");
        clock.current = clock.current.toUTC();
    }

    // Opens (again, after close()) the station on the same journal, connected.
    bool start(bool connected = true)
    {
        station = std::make_unique<station::Station>(station::Station::Parts{journal, operators, clock, sound, settings});
        QString error;
        if (!station->open(&error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        if (connected)
            station->setBrokerConnected(true);
        return true;
    }
    void restart()
    {
        station.reset();
        journal.close();
        QVERIFY(start());
    }

    void feed(const QList<mqtt::Received> &batch) { station->receive(batch); }
    void feed(const mqtt::Received &message) { station->receive({message}); }
    void advance(qint64 ms)
    {
        clock.advanceMs(ms);
        station->tick();
    }

    QString at(qint64 offsetMs = 0) const { return clock.current.addMSecs(offsetMs).toString(Qt::ISODateWithMs); }

    static mqtt::Received message(const QString &site, const QString &channel, const QByteArray &payload,
                                  bool retained = false)
    {
        return {QStringLiteral("dorvan/") + site + u'/' + channel, payload, retained, 1};
    }
    mqtt::Received status(const QString &site, qint64 offsetMs = 0, int interval = 30, bool retained = false) const
    {
        return message(site, QStringLiteral("status"),
                       QStringLiteral(R"({"state":"online","time":"%1","interval":%2})").arg(at(offsetMs)).arg(interval).toUtf8(),
                       retained);
    }
    mqtt::Received console(const QString &site, bool running, const QString &line) const
    {
        return message(site, QStringLiteral("console"),
                       QStringLiteral(R"({"running":%1,"line":"%2","last_poll":null,"time":"%3"})")
                           .arg(running ? "true" : "false", line, at())
                           .toUtf8());
    }
    // kind alarm, fault, normal, link_lost, ... with its usual code.
    mqtt::Received event(const QString &site, const QString &id, const QString &kind, int address = 1001, int loop = 1) const
    {
        static const QHash<QString, int> codes = {{QStringLiteral("alarm"), 33}, {QStringLiteral("fault"), 9},
                                                  {QStringLiteral("normal"), 0}, {QStringLiteral("link_lost"), 15},
                                                  {QStringLiteral("link_restored"), 32}, {QStringLiteral("system"), 20}};
        const QString where = address > 0 ? QString::number(address) : QStringLiteral("null");
        const QString whichLoop = loop > 0 ? QString::number(loop) : QStringLiteral("null");
        return message(site, QStringLiteral("event"),
                       QStringLiteral(R"({"id":"%1","site":"%2","time":"%3","code":%4,"kind":"%5","model":"Дорван-301ДК",)"
                                      R"("address":%6,"loop":%7,"text":"событие %5"})")
                           .arg(id, site, at())
                           .arg(codes.value(kind, 20))
                           .arg(kind, where, whichLoop)
                           .toUtf8());
    }
    mqtt::Received state(const QString &site, const QString &eventId, const QString &loop1, const QString &loop2 = "normal",
                         const QString &link = "up", const QString &fault = {}, int address = 1001) const
    {
        const QString faultField = fault.isEmpty() ? QStringLiteral("null") : u'"' + fault + u'"';
        return message(site, QStringLiteral("sensor/%1/state").arg(address),
                       QStringLiteral(R"({"site":"%1","address":%2,"model":"Дорван-301ДК","link":"%3","loop1":"%4",)"
                                      R"("loop2":"%5","fault":%6,"fault_code":%7,"changed":"%8","event":"%9"})")
                           .arg(site)
                           .arg(address)
                           .arg(link, loop1, loop2, faultField, fault.isEmpty() ? QStringLiteral("null") : QStringLiteral("9"),
                                at(), eventId)
                           .toUtf8(),
                       true);
    }

    // The rows of the alarm list as "kind state repeats" of their sources, in order.
    QStringList alarmRows() const
    {
        QStringList rows;
        station::AlarmListModel &list = station->alarmList();
        for (int row = 0; row < list.rowCount(); ++row)
            rows.append(station::stateName(list.at(row).state) + u' ' + station::kindName(list.at(row).kind) + u' '
                        + QString::number(list.at(row).repeats));
        return rows;
    }
    qint64 firstAlarmId() const
    {
        return station->alarmList().rowCount() > 0 ? station->alarmList().at(0).id : 0;
    }

    // A value the journal holds, read as an auditor would, on a connection of its own.
    QVariant query(const QString &sql) const
    {
        QVariant value;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("auditor"));
            db.setDatabaseName(dir.path() + QStringLiteral("/journal.sqlite"));
            QSqlQuery query(db);
            if (db.open() && query.exec(sql) && query.next())
                value = query.value(0);
            else if (query.lastError().isValid())
                value = QStringLiteral("error: ") + query.lastError().text();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("auditor"));
        return value;
    }

    QTemporaryDir dir;
    FakeClock clock;
    FakeAlarmSound sound;
    station::Journal journal;
    station::Operators operators;
    station::StationSettings settings;
    std::unique_ptr<station::Station> station;
};

} // namespace dorvan::test
