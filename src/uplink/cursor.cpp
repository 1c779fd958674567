#include "uplink/cursor.h"

#include "sensors/recordio.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

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
    Cursor cursor{{day, offset / RecordSize}, *states, {}};
    const QJsonObject passed = object.value(QStringLiteral("passed")).toObject();
    for (auto it = passed.begin(); it != passed.end(); ++it) {
        const QDate passedDay = QDate::fromString(it.key(), u"dd.MM.yyyy");
        const qint64 count = qint64(it.value().toDouble(-1));
        if (passedDay.isValid() && passedDay < day && count >= 0)
            cursor.passed[passedDay] = count;
    }
    return cursor;
}

bool CursorFile::save(const Cursor &cursor, QString *error) const
{
    QJsonObject passed;
    for (const auto &[day, count] : cursor.passed) {
        if (day < cursor.position.day && day.daysTo(cursor.position.day) <= Cursor::PassedDaysKept)
            passed.insert(EventPosition{day, 0}.fileName(), count);
    }
    const QJsonObject object{
        {QStringLiteral("file"), cursor.position.fileName()},
        {QStringLiteral("offset"), cursor.position.offset()},
        {QStringLiteral("passed"), passed},
        {QStringLiteral("sensors"), cursor.states.toJson()},
    };
    // As the console saves hw.dat: a temporary file beside it, checked for
    // its size, synced and renamed over the old one.
    const FileReplace saved = replaceFile(path_, QJsonDocument(object).toJson(), 0644, false);
    if (saved.result != FileReplace::Result::Replaced) {
        *error = QStringLiteral("cannot write %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(saved.error)));
        return false;
    }
    return true;
}

} // namespace dorvan::uplink
