#include "uplink/cursor.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace dorvan::uplink {

bool CursorFile::exists() const
{
    return QFile::exists(path_);
}

std::optional<Cursor> CursorFile::load(QString *error) const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path_, file.errorString());
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonObject object = document.object();
    const QDate day = QDate::fromString(object.value(QStringLiteral("file")).toString(), u"dd.MM.yyyy");
    const qint64 offset = qint64(object.value(QStringLiteral("offset")).toDouble(-1));
    const std::optional<SensorStates> states = SensorStates::fromJson(object.value(QStringLiteral("sensors")).toArray());
    if (parseError.error != QJsonParseError::NoError || !day.isValid() || offset < 0 || offset % RecordSize != 0
        || !states) {
        *error = QStringLiteral("%1 is damaged (expected the file name, an offset that is a multiple of %2 and the sensors)")
                     .arg(path_).arg(RecordSize);
        return std::nullopt;
    }
    return Cursor{{day, offset / RecordSize}, *states};
}

bool CursorFile::save(const Cursor &cursor, QString *error) const
{
    const QJsonObject object{
        {QStringLiteral("file"), cursor.position.fileName()},
        {QStringLiteral("offset"), cursor.position.offset()},
        {QStringLiteral("sensors"), cursor.states.toJson()},
    };
    // QSaveFile writes a temporary file beside the cursor, syncs it to disk
    // and renames it over the old one.
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(object).toJson()) < 0 || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path_, file.errorString());
        return false;
    }
    return true;
}

} // namespace dorvan::uplink
