#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace dorvan::station {

// The station's operators: names and salted PBKDF2-SHA256 hashes of their
// passwords in a file only its owner may read (0600), one per line:
// name:iterations:salt:hash (base64). The file is read at each sign-in, so
// an operator added from the command line can sign in at once.
class Operators
{
public:
    static constexpr int Iterations = 120000;

    explicit Operators(QString path);

    // Adds the operator or gives an existing one a new password.
    bool add(const QString &name, const QString &password, QString *error);
    bool verify(const QString &name, const QString &password) const;
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
    };
    QList<Entry> read(QString *error) const;

    QString path_;
};

} // namespace dorvan::station
