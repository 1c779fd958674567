#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace dorvan::station {

// The station's operators: names and salted PBKDF2-SHA256 hashes of their
// passwords in a file only its owner may read (0600), one per line:
// name:iterations:salt:hash (base64), then the operator's rights when he
// has any: a fifth field of comma-separated words ("cards": may edit the
// posts' cards). The file is read at each sign-in and each check of a
// right, so an operator added from the command line can sign in at once.
class Operators
{
public:
    static constexpr int Iterations = 120000;

    explicit Operators(QString path);

    // The right to edit the posts' cards.
    static constexpr const char *CardsFlag = "cards";

    // Adds the operator or gives an existing one a new password; an existing
    // operator keeps his rights, grantCards adds that one.
    bool add(const QString &name, const QString &password, QString *error, bool grantCards = false);
    bool verify(const QString &name, const QString &password) const;
    bool mayEditCards(const QString &name) const;
    QStringList names() const;
    QString path() const { return path_; }

    // A name an operator may have: not empty, no ':' and no line breaks, at most 64 characters.
    static bool validName(const QString &name);

private:
    struct Entry
    {
        QString name;
        int iterations = 0;
        QByteArray salt;
        QByteArray hash;
        QList<QByteArray> flags; // kept as read, also those this version does not know
    };
    QList<Entry> read(QString *error) const;
    static QByteArray lineOf(const Entry &entry);

    QString path_;
};

} // namespace dorvan::station
