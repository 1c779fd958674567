#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace dorvan::station {

class Journal;

// What the duty operator needs beside an alarm of a post: where it is, what
// to do, whom to call. The contacts are free text, one "name — number" a line.
struct PostCard
{
    QString site;
    QString address;
    QString instructions;
    QString contacts;
    QDateTime changed; // when the operator saved it, at his station's clock
    QString operatorName;
    QString station;

    QStringList contactLines() const; // the non-empty lines, trimmed
    bool isEmpty() const { return address.isEmpty() && instructions.isEmpty() && contacts.isEmpty(); }
    bool sameText(const PostCard &other) const
    {
        return address == other.address && instructions == other.instructions && contacts == other.contacts;
    }
};

// The fields of a card another station takes over with the edit's action
// (the site, when and by whom come with the action itself).
QJsonObject cardDetails(const PostCard &card);
PostCard cardFrom(const QJsonObject &details);
// What an edit changed, for the journal's comment: "address, contacts".
QString cardChanges(const PostCard *before, const PostCard &after);

// The posts' cards, held in memory over the journal's table of them; save()
// writes inside the caller's transaction.
class Cards
{
public:
    explicit Cards(Journal &journal) : journal_(journal) {}

    bool load(QString *error);
    const PostCard *card(const QString &site) const;
    bool save(const PostCard &card);
    // Whether an edit made elsewhere replaces the card held: the later one
    // wins, at the same time the station with the greater name, so that
    // every station ends with the same card whatever the order of arrival
    // (the same edit again is taken again: a rolled-back batch brings it back).
    bool supersedes(const PostCard &incoming) const;
    QString errorText() const { return error_; }

private:
    Journal &journal_;
    QHash<QString, PostCard> cards_;
    QString error_;
};

} // namespace dorvan::station
