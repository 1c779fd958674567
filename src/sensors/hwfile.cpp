#include "sensors/settingsfiles.h"

#include "sensors/recordio.h"

#include <QFile>
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

// Up to `limit` bytes of a regular file and its size; nullopt when it cannot
// be opened (error tells why) or read.
std::optional<QByteArray> readHead(const QString &path, qint64 limit, qint64 &size, int &error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return std::nullopt;
    }
    struct stat info = {};
    std::optional<QByteArray> bytes;
    error = EIO;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        size = info.st_size;
        QByteArray head(qMin(size, limit), Qt::Uninitialized);
        qint64 done = 0;
        while (done < head.size()) {
            const ssize_t n = ::pread(fd, head.data() + done, size_t(head.size() - done), off_t(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        if (done == head.size())
            bytes = head;
    }
    ::close(fd);
    return bytes;
}

} // namespace

HardwareSettings::HardwareSettings(ConsoleContext &context, SensorTable &table, PortChoice &port)
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

bool HardwareSettings::createDefaultFile()
{
    // First start: no sensor, COM1 and the factory password.
    QByteArray defaults(FileSize, '\0');
    put(defaults, PasswordOffset, DefaultPassword);
    const FileReplace created = replaceFile(context_.path(fileName()), defaults, NewFileMode, true);
    if (created.result != FileReplace::Result::Replaced)
        return false;
    load(defaults);
    return true;
}

void HardwareSettings::Ini_Hw()
{
    // Whatever comes of it, no fallback leaves password 0.
    password = DefaultPassword;
    qint64 size = 0;
    int error = 0;
    const auto bytes = readHead(context_.path(fileName()), FileSize, size, error);
    if (!bytes) {
        // Only a file that is not there is created: an unreadable one may
        // hold the site's sensors and password, and stays as it is.
        if (error == ENOENT && createDefaultFile()) {
            loaded_ = true;
            return;
        }
        context_.reports.error(LogArea::Files, QStringLiteral("Ini_Hw: не открылся файл hw.dat"));
        return;
    }
    load(*bytes);
    loaded_ = true;
    if (size != FileSize)
        context_.reports.error(LogArea::Files,
                               QStringLiteral("Ini_Hw: неверная длина файла hw.dat: %1 байт вместо %2")
                                   .arg(size)
                                   .arg(FileSize));
}

bool HardwareSettings::Save_Hw()
{
    const QString path = context_.path(fileName());
    // A console that could not read the file at start-up writes one only
    // where there is none: one that appeared since (data/ put back) holds
    // sensors and a password this run has never seen.
    const FileReplace saved = replaceFile(path, contents(), NewFileMode, !loaded_, beforeReplace);
    switch (saved.result) {
    case FileReplace::Result::Replaced:
        loaded_ = true;
        return true;
    case FileReplace::Result::Exists:
        context_.reports.error(LogArea::Files, QStringLiteral("Save_Hw: файл hw.dat не был прочитан "
                                                              "при запуске и не перезаписан"));
        return false;
    case FileReplace::Result::NotOpened:
        context_.reports.error(LogArea::Files, QStringLiteral("Save_Hw: не открылся файл hw.dat"));
        return false;
    case FileReplace::Result::NotWritten:
        break;
    }
    context_.reports.error(LogArea::Files, QStringLiteral("Save_Hw: не записался файл hw.dat: ")
                                               + writeErrorText(saved.error));
    return false;
}

} // namespace dorvan
