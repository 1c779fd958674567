#include "station/cards.h"

#include "station/journal.h"
#include "station/stationlog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace dorvan::station {

namespace {

const QString addressKey = QStringLiteral("address");
const QString instructionsKey = QStringLiteral("instructions");
const QString contactsKey = QStringLiteral("contacts");

QString iso(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

} // namespace

QStringList PostCard::contactLines() const
{
    QStringList lines;
    for (const QString &line : contacts.split(u'\n')) {
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed());
    }
    return lines;
}

QJsonObject cardDetails(const PostCard &card)
{
    return {{QStringLiteral("site"), card.site},
            {addressKey, card.address},
            {instructionsKey, card.instructions},
            {contactsKey, card.contacts}};
}

PostCard cardFrom(const QJsonObject &details)
{
    PostCard card;
    card.site = details.value(QStringLiteral("site")).toString();
    card.address = details.value(addressKey).toString();
    card.instructions = details.value(instructionsKey).toString();
    card.contacts = details.value(contactsKey).toString();
    return card;
}

QString cardChanges(const PostCard *before, const PostCard &after)
{
    const PostCard none;
    const PostCard &was = before ? *before : none;
    QStringList changed;
    if (was.address != after.address)
        changed << addressKey;
    if (was.instructions != after.instructions)
        changed << instructionsKey;
    if (was.contacts != after.contacts)
        changed << contactsKey;
    return changed.isEmpty() ? QStringLiteral("saved unchanged") : changed.join(QStringLiteral(", "));
}

bool Cards::load(QString *error)
{
    cards_.clear();
    QSqlQuery query(journal_.database());
    if (!query.exec(QStringLiteral("SELECT site, address, instructions, contacts, changed, operator, station FROM cards"))) {
        *error = QStringLiteral("reading the posts' cards: ") + query.lastError().text();
        return false;
    }
    while (query.next()) {
        PostCard card{query.value(0).toString(),
                      query.value(1).toString(),
                      query.value(2).toString(),
                      query.value(3).toString(),
                      QDateTime::fromString(query.value(4).toString(), Qt::ISODateWithMs),
                      query.value(5).toString(),
                      query.value(6).toString()};
        cards_.insert(card.site, card);
    }
    return true;
}

const PostCard *Cards::card(const QString &site) const
{
    const auto found = cards_.constFind(site);
    return found == cards_.constEnd() ? nullptr : &*found;
}

bool Cards::save(const PostCard &card)
{
    QSqlQuery query(journal_.database());
    query.prepare(QStringLiteral("INSERT INTO cards (site, address, instructions, contacts, changed, operator, station)"
                                 " VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (site) DO UPDATE SET"
                                 " address = excluded.address, instructions = excluded.instructions,"
                                 " contacts = excluded.contacts, changed = excluded.changed,"
                                 " operator = excluded.operator, station = excluded.station"));
    for (const QString &value : {card.site, card.address, card.instructions, card.contacts, iso(card.changed),
                                 card.operatorName, card.station})
        query.addBindValue(value);
    if (!query.exec()) {
        error_ = QStringLiteral("the card of %1: %2").arg(card.site, query.lastError().text());
        qCWarning(lcStationJournal).noquote() << "journal" << journal_.path() << error_;
        return false;
    }
    cards_.insert(card.site, card);
    return true;
}

bool Cards::supersedes(const PostCard &incoming) const
{
    const PostCard *held = card(incoming.site);
    if (!held || !held->changed.isValid())
        return true;
    if (incoming.changed != held->changed)
        return incoming.changed > held->changed;
    return incoming.station >= held->station; // the same edit again changes nothing
}

} // namespace dorvan::station
