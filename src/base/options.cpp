#include "base/options.h"

#include <QFileInfo>

#include <algorithm>

namespace dorvan {

void addOptions(QCommandLineParser &parser, std::span<const OptionEntry> options)
{
    for (const OptionEntry &option : options) {
        QStringList names{QString::fromLatin1(option.name)};
        if (option.shortName)
            names.prepend(QString::fromLatin1(option.shortName));
        const QString description = QString::fromUtf8(option.description);
        if (option.valueName)
            parser.addOption({names, description, QString::fromLatin1(option.valueName)});
        else
            parser.addOption({names, description});
    }
}

std::span<const OptionEntry> helpAndVersionOptions()
{
    static const OptionEntry options[] = {
        {"help", nullptr, "Показать эту справку и выйти.", "h"},
        {"version", nullptr, "Показать версию и выйти.", "v"},
    };
    return options;
}

std::unique_ptr<QSettings> openConfigFile(const QString &path,
                                          std::initializer_list<std::span<const OptionEntry>> known, QString *error)
{
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
        *error = QStringLiteral("configuration file %1 cannot be read").arg(path);
        return nullptr;
    }
    auto file = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (file->status() != QSettings::NoError) {
        *error = QStringLiteral("configuration file %1 is not a valid INI file").arg(path);
        return nullptr;
    }
    const auto isKnown = [&known](const QString &key) {
        return std::any_of(known.begin(), known.end(), [&key](std::span<const OptionEntry> options) {
            return std::any_of(options.begin(), options.end(),
                               [&key](const OptionEntry &option) { return key == QLatin1String(option.name); });
        });
    };
    for (const QString &key : file->allKeys()) {
        if (!isKnown(key)) {
            *error = QStringLiteral("unknown key \"%1\" in %2").arg(key, path);
            return nullptr;
        }
    }
    return file;
}

bool OptionValues::has(const char *name) const
{
    const QString key = QString::fromLatin1(name);
    return parser_.isSet(key) || (file_ && file_->contains(key));
}

std::optional<QString> OptionValues::text(const char *name) const
{
    const QString key = QString::fromLatin1(name);
    if (parser_.isSet(key))
        return parser_.value(key);
    if (file_ && file_->contains(key)) {
        // QSettings turns a value with commas into a list.
        const QVariant value = file_->value(key);
        return value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString();
    }
    return std::nullopt;
}

std::optional<bool> OptionValues::flag(const char *name, QString *error) const
{
    const QString key = QString::fromLatin1(name);
    if (parser_.isSet(key))
        return true;
    const std::optional<QString> value = text(name);
    if (!value)
        return false;
    const QString lower = value->trimmed().toLower();
    if (lower == u"true" || lower == u"yes" || lower == u"on" || lower == u"1")
        return true;
    if (lower == u"false" || lower == u"no" || lower == u"off" || lower == u"0")
        return false;
    *error = QStringLiteral("%1 must be true or false, not \"%2\"").arg(key, *value);
    return std::nullopt;
}

std::optional<int> OptionValues::number(const char *name, int fallback, int low, int high, QString *error) const
{
    const std::optional<QString> value = text(name);
    if (!value)
        return fallback;
    bool ok = false;
    const int number = value->trimmed().toInt(&ok);
    if (!ok || number < low || number > high) {
        *error = QStringLiteral("%1 must be a number from %2 to %3, not \"%4\"")
                     .arg(QString::fromLatin1(name)).arg(low).arg(high).arg(*value);
        return std::nullopt;
    }
    return number;
}

bool privateFile(const QString &key, const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("%1 %2 cannot be read").arg(key, path);
        return false;
    }
    if (info.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther)) {
        *error = QStringLiteral("%1 %2 is open to every user of this machine; refusing to use it: chmod o-rwx %2 "
                                "(600, or 640 for the service's group)")
                     .arg(key, path);
        return false;
    }
    return true;
}

} // namespace dorvan
