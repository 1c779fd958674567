#include "station/widgets/stationstart.h"

#include "mqtt/brokersettings.h"
#include "station/operators.h"
#include "station/widgets/stationuilog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace dorvan::station {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// One line without its line end (a file written on Windows ends it with
// CR LF); nullopt at the end of the input.
std::optional<QString> readLine(std::FILE *input)
{
    QByteArray line;
    int c = std::fgetc(input);
    if (c == EOF)
        return std::nullopt;
    for (; c != EOF && c != '\n'; c = std::fgetc(input))
        line.append(char(c));
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

// Echo off while the password is typed, and back on whatever happens.
class HiddenInput
{
public:
    explicit HiddenInput(int fd) : fd_(fd)
    {
        if (::tcgetattr(fd_, &saved_) != 0)
            return;
        termios hidden = saved_;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        hidden.c_lflag |= ECHONL;
        active_ = ::tcsetattr(fd_, TCSAFLUSH, &hidden) == 0;
    }
    ~HiddenInput()
    {
        if (active_)
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    HiddenInput(const HiddenInput &) = delete;
    HiddenInput &operator=(const HiddenInput &) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

std::optional<QString> askHidden(const QString &question, std::FILE *input, std::FILE *prompt)
{
    std::fputs(question.toLocal8Bit().constData(), prompt);
    std::fflush(prompt);
    const HiddenInput hidden(::fileno(input));
    return readLine(input);
}

} // namespace

void addStationOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("config"),
                      QStringLiteral("Configuration file (INI, keys as the options below); default "
                                     "~/.config/dorvan-station/station.conf, else /etc/dorvan-station/station.conf."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("add-operator"),
                      QStringLiteral("Add an operator, or give one a new password (read from the terminal, or "
                                     "the first line of standard input), and exit."),
                      QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("may-edit-cards"),
                      QStringLiteral("With --add-operator: the operator may edit the posts' cards (an operator "
                                     "given a new password keeps the rights he has).")});
    dorvan::addOptions(parser, stationOptions());
    dorvan::addOptions(parser, mqtt::brokerOptions());
}

std::optional<StationSettings> settingsFrom(const QCommandLineParser &parser, const QString &soundDir, QString *error)
{
    const QString explicitPath = parser.value(QStringLiteral("config"));
    const QString path = stationConfigPath(explicitPath);
    std::unique_ptr<QSettings> file;
    if (!explicitPath.isEmpty() || QFileInfo::exists(path)) {
        file = openConfigFile(path, {stationOptions(), mqtt::brokerOptions()}, error);
        if (!file)
            return std::nullopt;
    }
    std::optional<StationSettings> settings = stationFrom(OptionValues(parser, file.get()), error);
    if (!settings)
        return std::nullopt;
    if (settings->tripSound.isEmpty())
        settings->tripSound = soundDir + QStringLiteral("/Error.wav");
    if (settings->otherSound.isEmpty())
        settings->otherSound = soundDir + QStringLiteral("/Notice.wav");
    if (file)
        qCInfo(lcStationStart).noquote() << "configuration" << path;
    return settings;
}

StationLock::StationLock(QString dataDir) : dataDir_(std::move(dataDir)) {}

StationLock::~StationLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QString StationLock::path() const
{
    return dataDir_ + QStringLiteral("/station.lock");
}

bool StationLock::tryLock(QString *refusal)
{
    if (!QDir().mkpath(dataDir_)) {
        *refusal = QStringLiteral("Не удаётся создать каталог данных станции %1.").arg(dataDir_);
        return false;
    }
    fd_ = ::open(QFile::encodeName(path()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        *refusal = QStringLiteral("Не удаётся открыть файл блокировки %1: %2.").arg(path(), systemError());
        return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        char holder[32] = {};
        [[maybe_unused]] const ssize_t got = ::pread(fd_, holder, sizeof holder - 1, 0);
        *refusal = QStringLiteral("Станция с каталогом данных %1 уже работает (процесс %2). "
                                  "Вторая станция на том же каталоге не запускается.")
                       .arg(dataDir_, QString::fromLatin1(holder).trimmed());
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.constData(), size_t(pid.size()), 0) != pid.size())
        qCWarning(lcStationStart).noquote() << "cannot write the process id into" << path() << "; the lock holds all the same";
    return true;
}

std::optional<QString> readNewPassword(const QString &name, std::FILE *input, std::FILE *prompt, QString *error)
{
    std::optional<QString> password;
    if (::isatty(::fileno(input))) {
        password = askHidden(QStringLiteral("Пароль оператора %1: ").arg(name), input, prompt);
        const std::optional<QString> again = askHidden(QStringLiteral("Ещё раз: "), input, prompt);
        if (password && again && *password != *again) {
            *error = QStringLiteral("пароли не совпадают");
            return std::nullopt;
        }
    } else {
        password = readLine(input);
    }
    if (!password || password->isEmpty()) {
        *error = QStringLiteral("пустой пароль не принимается");
        return std::nullopt;
    }
    return password;
}

int addOperatorCommand(const StationSettings &settings, const QString &name, bool grantCards)
{
    QString error;
    if (!Operators::validName(name)) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(QStringLiteral("Имя оператора «%1» не годится: нужно от 1 до 64 знаков, без «:» и переводов строки.")
                                    .arg(name)));
        return 2;
    }
    const std::optional<QString> password = readNewPassword(name, stdin, stderr, &error);
    if (!password) {
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Оператор %1 не добавлен: %2.").arg(name, error)));
        return 1;
    }
    if (!QDir().mkpath(settings.dataDir)) {
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Не удаётся создать каталог %1.").arg(settings.dataDir)));
        return 1;
    }
    Operators operators(operatorsPath(settings));
    if (!operators.add(name, *password, &error, grantCards)) {
        qCCritical(lcStationStart).noquote() << "cannot add operator" << name << "to" << operators.path() << ":" << error;
        std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Оператор %1 не добавлен: %2").arg(name, error)));
        return 1;
    }
    const bool cards = operators.mayEditCards(name);
    qCInfo(lcStationStart).noquote() << QStringLiteral("operator %1 added to %2%3")
                                            .arg(name, operators.path(), cards ? QStringLiteral(" (may edit the cards)") : QString());
    std::fprintf(stdout, "%s\n",
                 qPrintable(QStringLiteral("Оператор %1 записан в %2%3.")
                                .arg(name, operators.path(), cards ? QStringLiteral(" (может изменять карточки постов)") : QString())));
    return 0;
}

} // namespace dorvan::station
