#include "station/operators.h"

#include "base/options.h"
#include "station/stationlog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QSaveFile>

namespace dorvan::station {

namespace {

constexpr int SaltBytes = 16;
constexpr int HashBytes = 32;
constexpr int MaxNameLength = 64;

QByteArray digest(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations, HashBytes);
}

QByteArray randomSalt()
{
    QByteArray salt(SaltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()), SaltBytes / 4);
    return salt;
}

// Compares in a time that does not tell how much of the hash matched.
bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

QList<QByteArray> flagsFrom(const QByteArray &field)
{
    QList<QByteArray> flags;
    for (const QByteArray &flag : field.split(',')) {
        if (!flag.trimmed().isEmpty())
            flags.append(flag.trimmed());
    }
    return flags;
}

} // namespace

Operators::Operators(QString path) : path_(std::move(path)) {}

bool Operators::validName(const QString &name)
{
    return !name.trimmed().isEmpty() && name == name.trimmed() && name.size() <= MaxNameLength
           && !name.contains(u':') && !name.contains(u'\n') && !name.contains(u'\r');
}

QList<Operators::Entry> Operators::read(QString *error) const
{
    QList<Entry> entries;
    QFile file(path_);
    if (!file.exists())
        return entries;
    if (!privateFile(QStringLiteral("operators"), path_, error))
        return entries;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("operators' file %1 cannot be read: %2").arg(path_, file.errorString());
        return entries;
    }
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(':');
        if (fields.size() != 4 && fields.size() != 5)
            continue;
        Entry entry{QString::fromUtf8(fields[0]), fields[1].toInt(), QByteArray::fromBase64(fields[2]),
                    QByteArray::fromBase64(fields[3]), fields.size() == 5 ? flagsFrom(fields[4]) : QList<QByteArray>{}};
        if (entry.iterations > 0 && !entry.salt.isEmpty() && entry.hash.size() == HashBytes)
            entries.append(entry);
    }
    return entries;
}

bool Operators::add(const QString &name, const QString &password, QString *error, bool grantCards)
{
    if (!validName(name)) {
        *error = QStringLiteral("operator name \"%1\" must not be empty, nor have ':' or line breaks, at most %2 characters")
                     .arg(name)
                     .arg(MaxNameLength);
        return false;
    }
    if (password.isEmpty()) {
        *error = QStringLiteral("the password must not be empty");
        return false;
    }
    error->clear();
    QList<Entry> entries = read(error);
    if (!error->isEmpty())
        return false;
    QList<QByteArray> flags;
    for (const Entry &entry : std::as_const(entries)) {
        if (entry.name == name)
            flags = entry.flags;
    }
    if (grantCards && !flags.contains(CardsFlag))
        flags.append(CardsFlag);
    entries.removeIf([&](const Entry &entry) { return entry.name == name; });
    const QByteArray salt = randomSalt();
    entries.append({name, Iterations, salt, digest(password, salt, Iterations), flags});

    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        *error = QStringLiteral("operators' file %1 cannot be written: %2").arg(path_, file.errorString());
        return false;
    }
    for (const Entry &entry : entries)
        file.write(lineOf(entry));
    if (!file.commit()) {
        *error = QStringLiteral("operators' file %1 cannot be written: %2").arg(path_, file.errorString());
        return false;
    }
    return true;
}

bool Operators::verify(const QString &name, const QString &password) const
{
    QString error;
    const QList<Entry> entries = read(&error);
    if (!error.isEmpty()) {
        qCWarning(lcStation).noquote() << "nobody can sign in:" << error;
        return false;
    }
    for (const Entry &entry : entries) {
        if (entry.name == name)
            return sameBytes(digest(password, entry.salt, entry.iterations), entry.hash);
    }
    return false;
}

bool Operators::mayEditCards(const QString &name) const
{
    QString error;
    const QList<Entry> entries = read(&error);
    if (!error.isEmpty())
        qCWarning(lcStation).noquote() << "nobody may edit the cards:" << error;
    for (const Entry &entry : entries) {
        if (entry.name == name)
            return entry.flags.contains(CardsFlag);
    }
    return false;
}

QByteArray Operators::lineOf(const Entry &entry)
{
    QByteArray line = entry.name.toUtf8() + ':' + QByteArray::number(entry.iterations) + ':' + entry.salt.toBase64() + ':'
                      + entry.hash.toBase64();
    if (!entry.flags.isEmpty())
        line += ':' + entry.flags.join(',');
    return line + '\n';
}

QStringList Operators::names() const
{
    QString error;
    QStringList names;
    for (const Entry &entry : read(&error))
        names.append(entry.name);
    return names;
}

} // namespace dorvan::station
