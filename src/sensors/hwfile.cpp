#include "sensors/settingsfiles.h"

#include "sensors/recordio.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtEndian>

#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvan {

namespace {

constexpr int SlotFieldSize = 6;
constexpr int PortOffset = 192;
constexpr int PasswordOffset = 194;
// hw.dat holds the password: a new file is for its owner's eyes only.
constexpr mode_t NewFileMode = 0600;

template<typename T>
void put(QByteArray &bytes, int offset, T value)
{
    qToLittleEndian(value, bytes.data() + offset);
}

template<typename T>
bool holds(const QByteArray &bytes, int offset)
{
    return offset + qsizetype(sizeof(T)) <= bytes.size();
}

// A field the file does not hold whole keeps the value it had.
template<typename T>
void take(const QByteArray &bytes, int offset, T &field)
{
    if (holds<T>(bytes, offset))
        field = qFromLittleEndian<T>(bytes.constData() + offset);
}

// The file a save replaces: hw.dat, or the file it links to.
QString realPath(const QString &path)
{
    const QFileInfo info(path);
    return info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : path;
}

// A save that was killed leaves its temporary file ("hw.dat.XXXXXX", a full
// copy with the password) beside hw.dat. Only one console works on a
// directory, so any such file at start-up is a leftover.
int removeStaleTemporaries(const QString &real)
{
    const QFileInfo target(real);
    const QRegularExpression temporary(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(target.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    int removed = 0;
    const QDir directory = target.dir();
    for (const QString &name : directory.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!temporary.match(name).hasMatch())
            continue;
        const QByteArray native = QFile::encodeName(directory.filePath(name));
        struct stat info = {};
        if (::lstat(native.constData(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(native.constData()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace

HardwareSettings::HardwareSettings(WorkContext &context, SensorTable &table, PortChoice &port)
    : context_(context), table_(table), port_(port)
{
}

QByteArray HardwareSettings::contents() const
{
    QByteArray bytes(FileSize, '\0');
    for (int slot = 0; slot < SlotCount; ++slot) {
        put(bytes, SlotFieldSize * slot, table_[slot].address);
        put(bytes, SlotFieldSize * slot + 4, table_[slot].model);
    }
    put(bytes, PortOffset, qint16(port_.portIndex));
    put(bytes, PasswordOffset, password);
    return bytes;
}

void HardwareSettings::load(const QByteArray &bytes)
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        // Half a slot is not read: an address without its model would name
        // a sensor of the wrong model.
        if (holds<quint32>(bytes, SlotFieldSize * slot) && holds<qint16>(bytes, SlotFieldSize * slot + 4)) {
            take(bytes, SlotFieldSize * slot, table_[slot].address);
            take(bytes, SlotFieldSize * slot + 4, table_[slot].model);
        }
        table_[slot].position = qint16(slot);
    }
    qint16 portIndex = 0;
    take(bytes, PortOffset, portIndex);
    // A damaged index would name a port that the list does not have.
    port_.portIndex = portIndex >= 0 && portIndex < PortCount ? portIndex : 0;
    // A cut file must not leave a password that anyone could guess (0).
    password = DefaultPassword;
    take(bytes, PasswordOffset, password);
}

int HardwareSettings::createDefaultFile()
{
    // First start: no sensor, COM1 and the factory password.
    QByteArray defaults(FileSize, '\0');
    put(defaults, PasswordOffset, DefaultPassword);
    const FileReplace created = replaceFile(context_.path(fileName()), defaults, NewFileMode, true);
    if (created.result != FileReplace::Result::Replaced)
        return created.error ? created.error : EEXIST;
    load(defaults);
    return 0;
}

void HardwareSettings::Ini_Hw()
{
    // Whatever comes of it, no fallback leaves password 0.
    password = DefaultPassword;
    damagedSize_ = -1;
    damagedCopy_.clear();
    const QString path = context_.path(fileName());
    if (const int removed = removeStaleTemporaries(realPath(path)))
        qCInfo(lcFiles).noquote()
            << QStringLiteral("Ini_Hw: удалено временных файлов сохранения hw.dat, оставшихся от "
                              "прерванной записи: %1").arg(removed);
    qint64 size = 0;
    int error = 0;
    const auto bytes = readRegularFile(path, FileSize, Links::Follow, error, &size);
    if (!bytes) {
        // Only a file that is not there is created: an unreadable one may
        // hold the site's sensors and password, and stays as it is.
        if (error == ENOENT) {
            error = createDefaultFile();
            if (error == 0) {
                loaded_ = true;
                return;
            }
        }
        context_.faults.error(LogArea::Files, QStringLiteral("Ini_Hw: не открылся файл hw.dat") + QStringLiteral(": ")
                                                   + fileErrorText(error));
        return;
    }
    load(*bytes);
    loaded_ = true;
    if (size != FileSize) {
        damagedSize_ = size;
        context_.faults.error(LogArea::Files,
                               QStringLiteral("Ini_Hw: неверная длина файла hw.dat: %1 байт вместо %2")
                                   .arg(size)
                                   .arg(FileSize));
    }
}

QString HardwareSettings::keepDamagedCopy()
{
    const QString real = realPath(context_.path(fileName()));
    const QString copy = real + QStringLiteral(".damaged-")
                         + context_.clock.now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(real);
    const QByteArray to = QFile::encodeName(copy);
    // A second name for the old file costs no space: the save then gives
    // hw.dat a new file and the copy keeps the old one, byte for byte.
    if (::link(from.constData(), to.constData()) == 0)
        return copy;
    int error = 0;
    qint64 size = 0;
    const auto bytes = readRegularFile(real, MaxDamagedCopy, Links::Refuse, error, &size);
    if (bytes && size <= MaxDamagedCopy
        && replaceFile(copy, *bytes, NewFileMode, true).result == FileReplace::Result::Replaced)
        return copy;
    return {};
}

bool HardwareSettings::Save_Hw()
{
    const QString path = context_.path(fileName());
    // A damaged file may still hold what the site needs (the password of a
    // file cut short): it is kept beside hw.dat before the save replaces it,
    // or the save is not done.
    if (damagedSize_ >= 0 && loaded_ && damagedCopy_.isEmpty()) {
        damagedCopy_ = keepDamagedCopy();
        if (damagedCopy_.isEmpty()) {
            context_.faults.error(LogArea::Files,
                                   QStringLiteral("Save_Hw: файл hw.dat повреждён, а его копию сохранить не "
                                                  "удалось; файл не перезаписан"));
            return false;
        }
    }
    // A console that could not read the file at start-up writes one only
    // where there is none: one that appeared since (data/ put back) holds
    // sensors and a password this run has never seen.
    const FileReplace saved = replaceFile(path, contents(), NewFileMode, !loaded_, beforeReplace);
    switch (saved.result) {
    case FileReplace::Result::Replaced:
        loaded_ = true;
        if (!damagedCopy_.isEmpty()) {
            context_.faults.warning(LogArea::Files,
                                     QStringLiteral("Save_Hw: повреждённый файл hw.dat (%1 байт) заменён; "
                                                    "его прежнее содержимое сохранено в %2")
                                         .arg(damagedSize_)
                                         .arg(QDir(context_.workDir).relativeFilePath(damagedCopy_)));
            damagedSize_ = -1;
            damagedCopy_.clear();
        }
        return true;
    case FileReplace::Result::Exists:
        context_.faults.error(LogArea::Files, QStringLiteral("Save_Hw: файл hw.dat не был прочитан "
                                                              "при запуске и не перезаписан"));
        return false;
    case FileReplace::Result::NotOpened:
        context_.faults.error(LogArea::Files,
                               openFailureText(QStringLiteral("Save_Hw"), QStringLiteral("hw.dat"), saved.error));
        return false;
    case FileReplace::Result::NotWritten:
        break;
    }
    context_.faults.error(LogArea::Files, QStringLiteral("Save_Hw: не записался файл hw.dat: ")
                                               + writeErrorText(saved.error));
    return false;
}

} // namespace dorvan
