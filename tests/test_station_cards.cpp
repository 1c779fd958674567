// The posts' cards: who may edit them, each edit an action that outlives a
// restart, and the edits of the centre's stations converging whatever the
// order in which they arrive.
#include "station/stationconfig.h"
#include "stationrig.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace dorvan;
using namespace dorvan::station;

namespace {

const QString post = QStringLiteral("post1");

std::unique_ptr<test::StationRig> desk(const QString &name, bool mayEditCards = true)
{
    auto rig = std::make_unique<test::StationRig>();
    rig->settings.stationName = name;
    QString error;
    if (!rig->operators.add(QStringLiteral("Оператор ") + name, QStringLiteral("secret"), &error, mayEditCards)
        || !rig->start())
        qFatal("the desk %s does not start: %s", qPrintable(name), qPrintable(error));
    return rig;
}

bool signIn(test::StationRig &rig)
{
    QString error;
    return rig.station->signIn(QStringLiteral("Оператор ") + rig.settings.stationName, QStringLiteral("secret"), &error);
}

PostCard cardOf(const QString &address)
{
    return {post, address, QStringLiteral("вызвать группу"), QStringLiteral("Иванов — +7 900 000-00-01"), {}, {}, {}};
}

QList<mqtt::Received> actionsOf(test::StationRig &from)
{
    QList<mqtt::Received> messages;
    for (const OutboxEntry &entry : from.station->outbox())
        messages.append({centreActionsTopic(from.settings.centreTopic), entry.payload, false, 1});
    return messages;
}

QString shownCard(test::StationRig &rig)
{
    const PostCard *card = rig.station->card(post);
    return card ? QStringList{card->address, card->operatorName, card->station}.join(u'|') : QStringLiteral("none");
}

} // namespace

class TestStationCards : public QObject
{
    Q_OBJECT

private slots:
    // A line of the operators' file as an older station wrote it, or with flags.
    void operatorsFile_data()
    {
        QTest::addColumn<QByteArray>("flags"); // appended to the four fields
        QTest::addColumn<bool>("grant");       // at a new password
        QTest::addColumn<bool>("mayEdit");

        QTest::newRow("an old line") << QByteArray() << false << false;
        QTest::newRow("an old line, granted") << QByteArray() << true << true;
        QTest::newRow("the right") << QByteArray(":cards") << false << true;
        QTest::newRow("among words unknown here") << QByteArray(":night,cards") << false << true;
        QTest::newRow("another right only") << QByteArray(":night") << false << false;
    }
    void operatorsFile()
    {
        QFETCH(QByteArray, flags);
        QFETCH(bool, grant);
        QFETCH(bool, mayEdit);

        test::StationRig rig;
        QString error;
        QVERIFY2(rig.operators.add(QStringLiteral("anna"), QStringLiteral("old"), &error), qPrintable(error));
        QFile file(rig.operators.path());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray line = file.readAll().trimmed();
        QCOMPARE(line.count(':'), 3);
        file.resize(0);
        file.seek(0);
        file.write(line + flags + '\n');
        file.close();
        QVERIFY(rig.operators.verify(QStringLiteral("anna"), QStringLiteral("old")));
        QCOMPARE(rig.operators.mayEditCards(QStringLiteral("anna")), !flags.isEmpty() && flags.contains("cards"));

        QVERIFY2(rig.operators.add(QStringLiteral("anna"), QStringLiteral("new"), &error, grant), qPrintable(error));
        QVERIFY(rig.operators.verify(QStringLiteral("anna"), QStringLiteral("new")));
        QVERIFY(!rig.operators.verify(QStringLiteral("anna"), QStringLiteral("old")));
        QCOMPARE(rig.operators.mayEditCards(QStringLiteral("anna")), mayEdit);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll().contains(flags.mid(1)), "the flags this version does not know are kept");
    }

    void editRefused_data()
    {
        QTest::addColumn<bool>("mayEdit");
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("nobody signed in") << true << false;
        QTest::newRow("without the right") << false << true;
    }
    void editRefused()
    {
        QFETCH(bool, mayEdit);
        QFETCH(bool, signedIn);
        auto rig = desk(QStringLiteral("A"), mayEdit);
        QVERIFY(!signedIn || signIn(*rig));
        QCOMPARE(rig->station->mayEditCards(), false);
        QString error;
        QVERIFY(!rig->station->editCard(cardOf(QStringLiteral("ул. Лесная, 1")), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(shownCard(*rig), "none");
        QCOMPARE(rig->query("SELECT count(*) FROM actions WHERE kind = 'edit_card'").toInt(), 0);
        QCOMPARE(rig->query("SELECT count(*) FROM cards").toInt(), 0);
    }

    void editIsAnActionAndOutlivesARestart()
    {
        auto rig = desk(QStringLiteral("A"));
        QVERIFY(signIn(*rig));
        QVERIFY(rig->station->mayEditCards());
        QSignalSpy changed(rig->station.get(), &Station::cardChanged);
        QString error;
        QVERIFY2(rig->station->editCard(cardOf(QStringLiteral("ул. Лесная, 1")), &error), qPrintable(error));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(rig->query("SELECT operator || '|' || target FROM actions WHERE kind = 'edit_card'").toString(),
                 "Оператор A|card post1");
        QCOMPARE(rig->station->outbox().size(), 1);
        rig->restart();
        QCOMPARE(shownCard(*rig), "ул. Лесная, 1|Оператор A|A");
        QCOMPARE(rig->station->card(post)->contactLines(), QStringList{"Иванов — +7 900 000-00-01"});
        QCOMPARE(rig->station->card(post)->changed, rig->clock.current);
    }

    // Desk A edits the card twice; desk B takes both in the order given, and
    // with "later here" edits it itself after A (by its clock) first.
    void sharedEdits_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<bool>("laterHere");
        QTest::addColumn<QString>("card"); // at both desks in the end

        QTest::newRow("in order") << "in order" << false << "второй|Оператор A|A";
        QTest::newRow("the older after the newer") << "reversed" << false << "второй|Оператор A|A";
        QTest::newRow("sent again") << "twice" << false << "второй|Оператор A|A";
        QTest::newRow("a later edit here stays") << "in order" << true << "свой|Оператор B|B";
    }
    void sharedEdits()
    {
        QFETCH(QString, order);
        QFETCH(bool, laterHere);
        QFETCH(QString, card);

        auto first = desk(QStringLiteral("A"));
        auto other = desk(QStringLiteral("B"));
        QVERIFY(signIn(*first) && signIn(*other));
        QString error;
        QVERIFY(first->station->editCard(cardOf(QStringLiteral("первый")), &error));
        first->clock.advanceMs(60 * 1000);
        QVERIFY(first->station->editCard(cardOf(QStringLiteral("второй")), &error));
        if (laterHere) {
            other->clock.advanceMs(2 * 60 * 1000);
            QVERIFY(other->station->editCard(cardOf(QStringLiteral("свой")), &error));
        }
        const QList<mqtt::Received> actions = actionsOf(*first);
        QSignalSpy changed(other->station.get(), &Station::cardChanged);
        if (order == u"reversed")
            other->feed(QList<mqtt::Received>(actions.crbegin(), actions.crend()));
        else
            other->feed(order == u"twice" ? actions + actions : actions);
        first->feed(actionsOf(*other));

        QCOMPARE(shownCard(*other), card);
        QCOMPARE(shownCard(*first), card);
        QCOMPARE(changed.count(), laterHere ? 0 : (order == u"reversed" ? 1 : 2));
        QCOMPARE(other->query("SELECT count(DISTINCT uid) || ' ' || count(*) FROM actions WHERE kind = 'edit_card'"
                              " AND station = 'A'")
                     .toString(),
                 "2 2");
        other->restart();
        QCOMPARE(shownCard(*other), card);
    }
};

QTEST_GUILESS_MAIN(TestStationCards)
#include "test_station_cards.moc"
