// Posts on a regional mosquitto that bridges their topics to the centre's,
// the real station on the centre's: the bridge cut (a relay between the two
// brokers closed and refusing, both brokers running) makes every post behind
// it stale although the centre still holds its retained online; healed, what
// the posts wrote meanwhile is journalled once each and the stale alarms
// return. And the centre's packaged ACL on a real broker.

#include "stationrun.h"

#include <QElapsedTimer>

#include <algorithm>

using namespace dorvan;
using namespace dorvan::e2e;

namespace {

constexpr int interval = 5; // the shortest heartbeat the uplink takes
constexpr int recordsBefore = 4;
constexpr int recordsDuring = 6;
const QString bridgeName = QStringLiteral("bridge-east");

struct Post
{
    QString site;
    qint32 address = 0;
    test::WorkDir dir;
    UplinkProcess uplink;
};

// mosquitto_pub as that login, MQTT 5, whose PUBACK tells a refusal.
bool published(int port, const QString &user, const QString &topic)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program(QStringLiteral("mosquitto_pub")),
                  {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
                   QStringLiteral("-u"), user, QStringLiteral("-P"), QStringLiteral("pw-") + user, QStringLiteral("-V"), QStringLiteral("5"),
                   QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-t"), topic, QStringLiteral("-m"),
                   QStringLiteral("{}"), QStringLiteral("-d")});
    process.waitForFinished(10000);
    const QByteArray output = process.readAll();
    return output.contains("received PUBACK") && !output.contains("Not authorized");
}

} // namespace

class TestStationBridge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char *name : {"mosquitto", "mosquitto_sub", "mosquitto_pub", "mosquitto_passwd"})
            QVERIFY2(!program(QString::fromLatin1(name)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing: run scripts/install-deps.sh").arg(QString::fromLatin1(name))));
    }

    void cutBridgeMakesPostsStaleAndTheHealDeliversTheirEventsOnce()
    {
        QTemporaryDir centreDir, regionDir, data;
        Broker centre(centreDir.path());
        QVERIFY(centre.start());
        TcpRelay link(centre.port());
        QVERIFY(link.heal());
        Broker region(regionDir.path());
        region.persistence = true;
        region.extraConfig = bridgeConfig(bridgeName, link.port());
        QVERIFY(region.start());
        StationProcess station(data.path());
        QVERIFY(station.start(centre.port()));
        Subscriber atRegion;
        QVERIFY(atRegion.start(region.port()));

        std::array<Post, 2> posts;
        posts[0].site = QStringLiteral("east1");
        posts[0].address = 1001;
        posts[1].site = QStringLiteral("east2");
        posts[1].address = 2001;
        const auto all = [&](const std::function<bool(const Post &)> &holds) {
            return std::all_of(posts.begin(), posts.end(), holds);
        };
        const auto events = [&](const Post &post) { return station.count(QStringLiteral("site = '%1'").arg(post.site)); };
        for (Post &post : posts) {
            append(dailyFile(post.dir), tripsAndReturns(post.address, 0, recordsBefore));
            QVERIFY(post.uplink.start(uplinkArguments(post.dir.path(), region.port(), post.site,
                                                      {QStringLiteral("--from-start"), QStringLiteral("--heartbeat"),
                                                       QString::number(interval)})));
        }
        QVERIFY2(waitUntil([&] {
                     return all([&](const Post &post) {
                         return events(post) == recordsBefore
                                && station.count(QStringLiteral("site = '%1' AND status = 'online'").arg(post.site),
                                                 QStringLiteral("posts"))
                                       == 1;
                     });
                 },
                           20000),
                 station.log().constData());
        QVERIFY(all([&](const Post &post) { return !station.alarmOpen(post.site, QStringLiteral("stale")); }));

        // (a) Cut: stale within twice the interval of the last renewal,
        // which came at most one interval before the cut.
        QElapsedTimer sinceCut;
        sinceCut.start();
        link.cut();
        QHash<QString, qint64> staleAfter;
        QVERIFY2(waitUntil([&] {
                     for (const Post &post : posts) {
                         if (!staleAfter.contains(post.site) && station.alarmOpen(post.site, QStringLiteral("stale")))
                             staleAfter.insert(post.site, sinceCut.elapsed());
                     }
                     return staleAfter.size() == qsizetype(posts.size());
                 },
                           (2 * interval + 10) * 1000),
                 station.log().constData());
        for (const Post &post : posts) {
            qInfo("%s stale %lld ms after the bridge was cut (interval %d s)", qPrintable(post.site),
                  staleAfter.value(post.site), interval);
            QVERIFY2(staleAfter.value(post.site) >= (interval - 1) * 1000
                         && staleAfter.value(post.site) <= (2 * interval + 3) * 1000,
                     qPrintable(QString::number(staleAfter.value(post.site))));
        }
        // ... while the centre still holds each post's retained online, and
        // the bridge's own notification there says it is down.
        Subscriber atCentre;
        QVERIFY(atCentre.start(centre.port(), {QStringLiteral("-t"), QStringLiteral("$SYS/broker/connection/#")}));
        const QString bridgeState = QStringLiteral("$SYS/broker/connection/%1/state").arg(bridgeName);
        QVERIFY(waitUntil([&] {
            const QList<Received> state = atCentre.on(bridgeState);
            return !state.isEmpty() && state.last().payload == "0"
                   && all([&](const Post &post) {
                          const QList<Received> status = atCentre.on(QStringLiteral("dorvan/%1/status").arg(post.site));
                          return !status.isEmpty() && status.last().retained
                                 && status.last().json().value(QStringLiteral("state")) == QLatin1String("online");
                      });
        },
                          5000));
        QCOMPARE(station.count(QStringLiteral("status = 'online'"), QStringLiteral("posts")), int(posts.size()));

        // (b) Records written during the cut are acknowledged by the
        // regional broker and go no further ...
        for (const Post &post : posts)
            append(dailyFile(post.dir), tripsAndReturns(post.address, recordsBefore, recordsDuring));
        QVERIFY(waitUntil(
            [&] {
                return all([&](const Post &post) {
                    return atRegion.on(QStringLiteral("dorvan/%1/event").arg(post.site)).size() == recordsBefore + recordsDuring;
                });
            },
            10000));
        QVERIFY(all([&](const Post &post) { return events(post) == recordsBefore; }));

        // ... until the bridge heals: then each arrives once, none missing,
        // and (c) the stale alarms return.
        QElapsedTimer sinceHeal;
        sinceHeal.start();
        QVERIFY(link.heal());
        QVERIFY2(waitUntil(
                     [&] {
                         return all([&](const Post &post) {
                             return events(post) == recordsBefore + recordsDuring
                                    && station.alarmState(post.site, QStringLiteral("stale")) == QLatin1String("returned");
                         });
                     },
                     (2 * interval + 20) * 1000),
                 station.log().constData());
        qInfo("healed: every record journalled and the stale alarms returned %lld ms later; %d clock alarm(s) raised",
              sinceHeal.elapsed(), station.count(QStringLiteral("kind = 'clock'"), QStringLiteral("alarms")));
        QCOMPARE(station.value(QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM events GROUP BY site, day, number "
                                              "HAVING count(*) <> 1)"))
                     .toInt(),
                 0);
        for (const Post &post : posts) {
            const QString of = QStringLiteral(" FROM events WHERE site = '%1'").arg(post.site);
            QCOMPARE(station.value(QStringLiteral("SELECT count(DISTINCT number)") + of).toInt(), recordsBefore + recordsDuring);
            QCOMPARE(station.value(QStringLiteral("SELECT max(number)") + of).toInt(), recordsBefore + recordsDuring - 1);
        }
        QCOMPARE(station.count(QStringLiteral("closed IS NULL"), QStringLiteral("gaps")), 0);
        QVERIFY(waitUntil([&] { return atCentre.on(bridgeState).last().payload == "1"; }, 5000));
        QCOMPARE(link.connections(), 2);
        for (Post &post : posts)
            QVERIFY(post.uplink.terminate());
    }

    // The packaged ACL of the centre's broker, on a real mosquitto with
    // logins made by mosquitto_passwd.
    void centreAclHoldsEachLoginToItsTopics_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("a post's own event") << "post1" << "dorvan/post1/event" << true;
        QTest::newRow("a post's own sensor state") << "post1" << "dorvan/post1/sensor/1001/state" << true;
        QTest::newRow("another post's event") << "post1" << "dorvan/post2/event" << false;
        QTest::newRow("another post's status") << "post1" << "dorvan/post2/status" << false;
        QTest::newRow("a post on the centre's topic") << "post1" << "dorvan-centre/actions" << false;
        QTest::newRow("a station on the centre's topic") << "duty1" << "dorvan-centre/actions" << true;
        QTest::newRow("a station on a post's topic") << "duty1" << "dorvan/post1/event" << false;
        QTest::newRow("a bridge on its posts' topics") << "bridge-east" << "dorvan/kpp-04/event" << true;
        QTest::newRow("a bridge on the centre's topic") << "bridge-east" << "dorvan-centre/actions" << false;
        QTest::newRow("a login the ACL does not name") << "stranger" << "dorvan/post1/event" << false;
    }
    void centreAclHoldsEachLoginToItsTopics()
    {
        QFETCH(QString, user);
        QFETCH(QString, topic);
        QFETCH(bool, allowed);
        if (!aclBroker_)
            QVERIFY(startAclBroker());
        QCOMPARE(published(aclBroker_->port(), user, topic), allowed);
    }

private:
    bool startAclBroker()
    {
        const QString passwords = aclDir_.filePath(QStringLiteral("passwd"));
        for (const char *user : {"post1", "post2", "duty1", "bridge-east", "stranger"}) {
            const QString name = QString::fromLatin1(user);
            QStringList arguments{QStringLiteral("-b"), passwords, name, QStringLiteral("pw-") + name};
            if (!QFile::exists(passwords))
                arguments.prepend(QStringLiteral("-c"));
            if (!runTool(QStringLiteral("mosquitto_passwd"), arguments, aclDir_.path()))
                return false;
        }
        aclBroker_ = std::make_unique<Broker>(aclDir_.path());
        aclBroker_->passwordFile = passwords;
        aclBroker_->extraConfig = {QStringLiteral("acl_file %1/mosquitto-acl.example").arg(QStringLiteral(DORVAN_PACKAGING_DIR))};
        return aclBroker_->start();
    }

    QTemporaryDir aclDir_;
    std::unique_ptr<Broker> aclBroker_;
};

QTEST_GUILESS_MAIN(TestStationBridge)
#include "test_station_bridge.moc"
