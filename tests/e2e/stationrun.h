#pragma once

// The real dorvan-station for the station's end-to-end tests, its journal
// read as an auditor would, and a TCP relay that cuts one network link while
// both of its ends go on running.

#include "brokerrun.h"

#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>

namespace dorvan::e2e {

class StationProcess
{
public:
    explicit StationProcess(const QString &dataDir) : dataDir_(dataDir) {}
    ~StationProcess() { kill(); }

    bool start(int port)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        tieToTest(process_);
        process_.start(binDir() + QStringLiteral("/dorvan-station"),
                       {QStringLiteral("--data-dir"), dataDir_, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("--port"), QString::number(port), QStringLiteral("--client-id"),
                        QStringLiteral("station-e2e"), QStringLiteral("--station-name"), QStringLiteral("e2e")});
        // Subscribed once connected: what a post sends before that is not
        // for this station's session.
        return process_.waitForStarted(5000)
               && waitUntil([this] { return output_.append(process_.readAll()).contains("connected to"); }, 10000);
    }
    void kill()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    QByteArray log() { return output_.append(process_.readAll()); }

    // One value of a query on the journal, read as an auditor would, beside
    // the running station.
    QVariant value(const QString &sql) const
    {
        QVariant found;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("auditor"));
            db.setDatabaseName(dataDir_ + QStringLiteral("/journal.sqlite"));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
            if (db.open()) {
                QSqlQuery query(db);
                if (query.exec(sql) && query.next())
                    found = query.value(0);
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("auditor"));
        return found;
    }
    int count(const QString &where, const QString &table = QStringLiteral("events")) const
    {
        return value(QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(table, where)).toInt();
    }
    bool alarmOpen(const QString &site, const QString &kind) const
    {
        return count(QStringLiteral("site = '%1' AND kind = '%2' AND state <> 'normal'").arg(site, kind),
                     QStringLiteral("alarms")) > 0;
    }
    // The state of the post's latest alarm of that kind, empty when none.
    QString alarmState(const QString &site, const QString &kind) const
    {
        return value(QStringLiteral("SELECT state FROM alarms WHERE site = '%1' AND kind = '%2' ORDER BY id DESC")
                         .arg(site, kind))
            .toString();
    }

private:
    QString dataDir_;
    QProcess process_;
    QByteArray output_;
};

inline QByteArray tripsAndReturns(qint32 address, int first, int n)
{
    const QString trip = QStringLiteral("Срабатывание 1 шлейфа датчика <Дорван-301ДК> № %1").arg(address);
    const QString back = QStringLiteral("Возврат в норму 1 шлейфа датчика <Дорван-301ДК> № %1").arg(address);
    QByteArray bytes;
    for (int i = first; i < first + n; ++i)
        bytes += test::bytesOf(i % 2 == 0 ? record(address, 33, trip, i) : record(address, 0, back, i));
    return bytes;
}

inline QStringList uplinkArguments(const QString &workDir, int port, const QString &site, const QStringList &more = {})
{
    return QStringList{QStringLiteral("--workdir"), workDir, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--port"), QString::number(port), QStringLiteral("--site"), site}
           + more;
}

// Forwards every connection made to its port to a target port on this
// machine. cut() closes every connection and refuses new ones, as a dead
// link would; heal() accepts them again on the same port.
class TcpRelay
{
public:
    explicit TcpRelay(int targetPort) : targetPort_(targetPort)
    {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { acceptPending(); });
    }
    ~TcpRelay() { cut(); }

    bool heal()
    {
        if (port_ == 0)
            port_ = freePort();
        return server_.listen(QHostAddress::LocalHost, quint16(port_));
    }
    void cut()
    {
        server_.close();
        for (const QPointer<QTcpSocket> &socket : std::as_const(sockets_)) {
            if (socket)
                socket->abort();
        }
        sockets_.clear();
    }
    int port() const { return port_; }
    int connections() const { return connections_; }

private:
    void acceptPending()
    {
        while (QTcpSocket *client = server_.nextPendingConnection()) {
            // Written before the target answers, the client's bytes wait in
            // the socket's buffer.
            auto *target = new QTcpSocket(client);
            target->connectToHost(QHostAddress::LocalHost, quint16(targetPort_));
            forward(client, target);
            forward(target, client);
            QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            sockets_ << client << target;
            ++connections_;
        }
    }
    static void forward(QTcpSocket *from, QTcpSocket *to)
    {
        QObject::connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
        QObject::connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
        QObject::connect(from, &QTcpSocket::errorOccurred, to, [from, to] {
            if (from->error() != QAbstractSocket::RemoteHostClosedError)
                to->abort();
        });
    }

    int targetPort_;
    int port_ = 0;
    int connections_ = 0;
    QTcpServer server_;
    QList<QPointer<QTcpSocket>> sockets_;
};

} // namespace dorvan::e2e
