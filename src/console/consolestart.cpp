#include "console/consolestart.h"

#include "base/log.h"
#include "base/options.h"
#include "base/regularfile.h"
#include "base/russian.h"
#include "console/workdirsetup.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvan {

namespace {

const OptionEntry consoleOptions[] = {
    {"workdir", "DIR", "Работать в каталоге DIR вместо настроенного рабочего каталога."},
    {"init", "DIR", "Подготовить DIR как рабочий каталог: шесть его каталогов, ports/ и звук тревоги. Создаётся "
                    "только недостающее, ничего не перезаписывается."},
    {"save-config", nullptr, "Вместе с --init: записать DIR в ваш файл настройки, чтобы пункт меню запускал пульт в нём."},
    {"save-system-config", nullptr, "Вместе с --init: записать DIR в /etc/dorvan-console/console.conf, для всех "
                                    "пользователей (от имени root)."},
    {"autostart", nullptr, "Вместе с --init: запускать пульт в DIR при вашем входе в систему (элемент автозапуска XDG)."},
};

void addConsoleOptions(QCommandLineParser &parser)
{
    addOptions(parser, consoleOptions);
    addOptions(parser, helpAndVersionOptions());
}

} // namespace

QString ConsoleCommand::helpText()
{
    QCommandLineParser parser;
    addConsoleOptions(parser);
    const QString generated = parser.helpText();
    return QStringLiteral(
               "Запуск: dorvan-console [--workdir DIR]\n"
               "        dorvan-console --init DIR [--save-config | --save-system-config] [--autostart]\n"
               "\n"
               "Пульт контроля датчиков Дорван на линии RS-485.\n"
               "\n"
               "Без --workdir пульт работает в каталоге, который указан строкой\n"
               "\"workdir=DIR\" файла $XDG_CONFIG_HOME/dorvan-console/console.conf (по умолчанию\n"
               "~/.config/dorvan-console/console.conf), иначе файла /etc/dorvan-console/console.conf,\n"
               "иначе в текущем каталоге. В одном рабочем каталоге работает один пульт.\n"
               "\n")
        + ru::commandLineOptions(generated);
}

ConsoleCommand parseConsoleCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    addConsoleOptions(parser);
    const OptionValues options(parser, nullptr);

    ConsoleCommand command;
    const auto usage = [&command](const QString &error) {
        command.action = ConsoleCommand::Action::Usage;
        command.error = error;
        return command;
    };
    if (!parser.parse(arguments)) {
        command.unknownOptions = parser.unknownOptionNames();
        return usage(ru::commandLineError(parser));
    }
    if (options.has("help")) {
        command.action = ConsoleCommand::Action::Help;
        return command;
    }
    if (options.has("version")) {
        command.action = ConsoleCommand::Action::Version;
        return command;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("Лишний аргумент «%1».").arg(parser.positionalArguments().constFirst()));
    command.saveUserConfig = options.has("save-config");
    command.saveSystemConfig = options.has("save-system-config");
    command.autostart = options.has("autostart");
    if (options.has("init")) {
        if (options.has("workdir"))
            return usage(QStringLiteral("--init и --workdir не указываются вместе: каталог называет --init."));
        if (command.saveUserConfig && command.saveSystemConfig)
            return usage(QStringLiteral("Укажите что-то одно: --save-config или --save-system-config."));
        command.action = ConsoleCommand::Action::Init;
        command.initDir = *options.text("init");
        return command;
    }
    if (command.saveUserConfig || command.saveSystemConfig || command.autostart)
        return usage(QStringLiteral("--save-config, --save-system-config и --autostart указываются вместе с --init DIR."));
    command.workDir = options.text("workdir").value_or(QString());
    return command;
}

int runTerminalCommand(const ConsoleCommand &command, const TerminalContext &context, QIODevice &out)
{
    switch (command.action) {
    case ConsoleCommand::Action::Help: out.write(ConsoleCommand::helpText().toUtf8()); return 0;
    case ConsoleCommand::Action::Version:
        out.write(QStringLiteral("dorvan-console %1\n").arg(context.version).toUtf8());
        return 0;
    case ConsoleCommand::Action::Run: return 0; // the window's business, not the terminal's
    case ConsoleCommand::Action::Usage:
        qCWarning(lcStart, "%s Справка: dorvan-console --help.", qUtf8Printable(command.error));
        return 2;
    case ConsoleCommand::Action::Init: break;
    }

    SetupRequest request;
    request.workDir = QDir::cleanPath(QDir(context.currentDir).absoluteFilePath(command.initDir));
    request.soundSource = context.packageDataDir + QStringLiteral("/Error.wav");
    if (command.saveUserConfig)
        request.configFile = context.configFiles.user;
    if (command.saveSystemConfig)
        request.configFile = context.configFiles.system;
    if (command.autostart)
        request.autostartFile = context.configFiles.autostart;
    request.consoleProgram = context.consoleProgram;

    const SetupResult result = prepareWorkDir(request);
    for (const SetupStep &step : result.steps)
        out.write((describeStep(step) + u'\n').toUtf8());
    if (!result.ok()) {
        qCWarning(lcStart, "%s не готов: см. строки с пометкой ОШИБКА", qUtf8Printable(request.workDir));
        return 1;
    }
    out.write(QStringLiteral("\nКаталог %1 готов. Привяжите адаптер RS-485 как порт COM1, например:\n"
                             "  ln -s /dev/serial/by-id/<ваш адаптер> %2/ports/COM1\n")
                  .arg(request.workDir, request.workDir)
                  .toUtf8());
    if (request.configFile.isEmpty())
        out.write(QStringLiteral("Запуск пульта: dorvan-console --workdir %1\n").arg(request.workDir).toUtf8());
    else
        out.write("Пункт меню \"Пульт контроля датчиков Дорван\" запускает пульт в нём.\n");
    return 0;
}

StartPlace enterWorkDir(const QString &option, const ConfigFiles &files)
{
    StartPlace place;
    const WorkDirChoice choice = chooseWorkDir(option, files, QDir::currentPath());
    if (choice.failed()) {
        place.refusal = choice.problemText(); // logged where the file was read
        return place;
    }
    if (!QDir::setCurrent(choice.dir)) {
        place.refusal = QFileInfo(choice.dir).isDir()
                            ? QStringLiteral("Не удаётся перейти в рабочий каталог %1").arg(choice.dir)
                            : QStringLiteral("Рабочий каталог %1 не найден. Подготовьте его командой "
                                             "dorvan-console --init %1")
                                  .arg(choice.dir);
        qCWarning(lcStart, "%s", qUtf8Printable(place.refusal));
        return place;
    }
    // A directory that holds none of the console's directories was never
    // prepared (a start from the menu, in the home directory, before the
    // setup): a start there would only report missing files and save nothing.
    const QStringList needed = SetupRequest::consoleDirectories();
    if (std::none_of(needed.cbegin(), needed.cend(), [](const QString &name) { return QFileInfo(name).isDir(); })) {
        place.refusal = choice.source == WorkDirChoice::Source::CurrentDirectory
                            ? QStringLiteral("Рабочий каталог пульта не указан, а в текущем каталоге %1 нет "
                                             "каталогов пульта (%2). Подготовьте рабочий каталог командой "
                                             "dorvan-console --init КАТАЛОГ --save-config")
                                  .arg(choice.dir, needed.join(QStringLiteral(", ")))
                            : QStringLiteral("В рабочем каталоге %1 нет каталогов пульта (%2). Подготовьте его "
                                             "командой dorvan-console --init %1")
                                  .arg(choice.dir, needed.join(QStringLiteral(", ")));
        qCWarning(lcStart, "%s", qUtf8Printable(place.refusal));
        return place;
    }
    place.workDir = QDir::currentPath();
    qCInfo(lcStart, "working directory %s", qUtf8Printable(choice.describe()));
    return place;
}

ConsoleLock::ConsoleLock(const QString &workDir) : workDir_(workDir) {}

ConsoleLock::~ConsoleLock()
{
    if (fd_ < 0)
        return;
    // Removed while held: a console that opened it meanwhile finds, once
    // it has the lock, that the file is no longer the one in the directory,
    // and starts over.
    const QByteArray native = QFile::encodeName(path());
    struct stat mine = {};
    struct stat there = {};
    if (::fstat(fd_, &mine) == 0 && ::lstat(native.constData(), &there) == 0 && mine.st_dev == there.st_dev
        && mine.st_ino == there.st_ino)
        ::unlink(native.constData());
    ::close(fd_);
}

QString ConsoleLock::path() const
{
    return workDir_ + u'/' + fileName();
}

// Something other than a regular file where the lock belongs is no console's
// lock: it is removed (a symlink itself, never what it points to; a directory
// only when empty).
bool ConsoleLock::clearPlace()
{
    const QByteArray native = QFile::encodeName(path());
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0 || S_ISREG(info.st_mode))
        return true;
    const bool removed = S_ISDIR(info.st_mode) ? ::rmdir(native.constData()) == 0 : ::unlink(native.constData()) == 0;
    if (!removed) {
        error_ = S_ISDIR(info.st_mode) && errno == ENOTEMPTY ? EISDIR : errno;
        return false;
    }
    qCWarning(lcStart, "%s was not a regular file; removed, the lock is made anew", qUtf8Printable(path()));
    return true;
}

// "PID\nprogram\nhost\n", as the console writes it (QLockFile's layout).
void ConsoleLock::readHolder(int fd)
{
    char buffer[512];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    const QList<QByteArray> lines = QByteArray(buffer, n > 0 ? qsizetype(n) : 0).split('\n');
    bool number = false;
    holderPid_ = lines.value(0).trimmed().toLongLong(&number);
    if (!number || holderPid_ <= 0)
        holderPid_ = 0;
    holderHost_ = QString::fromUtf8(lines.value(2).trimmed());
}

ConsoleLock::Outcome ConsoleLock::tryLock()
{
    const QByteArray native = QFile::encodeName(path());
    // A few rounds: each one that fails has seen a console end or a file
    // replaced at that very moment.
    for (int round = 0; round < 5; ++round) {
        if (!clearPlace())
            break;
        const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
        if (fd < 0) {
            error_ = errno;
            if (error_ == ELOOP || error_ == EISDIR || error_ == ENXIO || error_ == EINTR)
                continue; // swapped for something else since the look
            break;
        }
        FileDescriptor opened(fd);
        struct stat mine = {};
        if (::fstat(fd, &mine) != 0) {
            error_ = errno;
            break;
        }
        if (!S_ISREG(mine.st_mode))
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                readHolder(fd);
                qCWarning(lcStart, "%s", qUtf8Printable(refusalText()));
                return Outcome::Held;
            }
            error_ = errno;
            break;
        }
        struct stat there = {};
        if (::lstat(native.constData(), &there) != 0 || there.st_dev != mine.st_dev || there.st_ino != mine.st_ino)
            continue; // the console that held it ended and removed it
        const int status = ::fcntl(fd, F_GETFL);
        if (status >= 0)
            ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
        // The holder's name is only for the refusal: the lock holds without it
        // (a full disk may refuse these bytes).
        const QByteArray holder = QByteArray::number(qint64(::getpid())) + "\ndorvan-console\n"
                                  + QSysInfo::machineHostName().toUtf8() + '\n';
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, holder.constData(), size_t(holder.size()), 0) != holder.size())
            qCWarning(lcStart, "%s: the holder's process number could not be written", qUtf8Printable(path()));
        fd_ = opened.release();
        return Outcome::Locked;
    }
    if (error_ == 0)
        error_ = EAGAIN;
    return Outcome::Unavailable; // the caller's box logs it
}

QString ConsoleLock::unavailableText() const
{
    return QStringLiteral("Не удалось создать файл блокировки %1: %2. Пульт работает без него: запуск второго "
                          "пульта на том же рабочем каталоге не будет предотвращён.")
        .arg(path(), fileErrorText(error_));
}

QString ConsoleLock::refusalText() const
{
    QString holder;
    if (holderPid_ <= 0)
        holder = QStringLiteral("номер его процесса не удалось прочитать");
    else if (holderHost_.isEmpty() || holderHost_ == QSysInfo::machineHostName())
        holder = QStringLiteral("процесс %1").arg(holderPid_);
    else
        holder = QStringLiteral("процесс %1 на компьютере %2").arg(holderPid_).arg(holderHost_);
    return QStringLiteral("С рабочим каталогом %1 уже работает другой пульт (%2). "
                          "Второй пульт на том же каталоге не запускается.")
        .arg(workDir_, holder);
}

} // namespace dorvan
