#include "console/workdirsetup.h"

#include "base/log.h"
#include "base/workdirconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace dorvan {

namespace {

using Outcome = SetupStep::Outcome;

SetupStep step(Outcome outcome, const QString &path, const QString &detail = {})
{
    if (outcome == Outcome::Failed)
        qCWarning(lcSetup, "%s: %s", qUtf8Printable(path), qUtf8Printable(detail));
    return {outcome, path, detail};
}

SetupStep makeDirectory(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return step(Outcome::Kept, path);
    if (info.exists() || info.isSymLink())
        return step(Outcome::Failed, path, QStringLiteral("существует и не является каталогом"));
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(path).toStdString(), error);
    if (error)
        return step(Outcome::Failed, path, QString::fromLocal8Bit(error.message()));
    return step(Outcome::Created, path);
}

// Writes a new file; an existing one is kept, whatever it holds.
SetupStep writeNewFile(const QString &path, const QByteArray &contents)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return step(Outcome::Kept, path, QStringLiteral("уже есть, оставлен как есть"));
    const SetupStep parent = makeDirectory(QFileInfo(path).path());
    if (parent.outcome == Outcome::Failed)
        return step(Outcome::Failed, path, parent.detail);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(contents) != contents.size()
        || !file.flush()) {
        const QString reason = file.errorString();
        if (file.isOpen()) {
            file.close();
            file.remove();
        }
        return step(Outcome::Failed, path, reason);
    }
    return step(Outcome::Created, path);
}

SetupStep copySound(const QString &source, const QString &target)
{
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return step(Outcome::Kept, target, QStringLiteral("уже есть, оставлен как есть"));
    if (!QFileInfo(source).isFile())
        return step(Outcome::Failed, target,
                    QStringLiteral("нет звука тревоги пакета %1; пульт подавал бы только гудок")
                        .arg(source));
    QFile file(source);
    if (!file.copy(target))
        return step(Outcome::Failed, target, file.errorString());
    return step(Outcome::Created, target, QStringLiteral("скопирован из ") + source);
}

SetupStep writeConfig(const QString &path, const QString &workDir)
{
    const ConfigRead read = readConfigFile(path);
    if (read.problem == ConfigRead::Problem::Unreadable)
        return step(Outcome::Failed, path, read.detail);
    if (QFileInfo::exists(path)) {
        if (read.names() && read.workDir == workDir)
            return step(Outcome::Kept, path, QStringLiteral("уже указывает этот каталог"));
        return step(Outcome::Failed, path,
                    read.names() ? QStringLiteral("уже есть и указывает %1; исправьте или удалите его").arg(read.workDir)
                                 : QStringLiteral("уже есть и не указывает рабочий каталог; исправьте или удалите его"));
    }
    return writeNewFile(path, configFileText(workDir));
}

// An argument of a desktop entry's Exec key: '%' doubled, quoted when it
// holds a reserved character, with '"', '`', '$' and '\' escaped inside
// the quotes.
QString execArgument(QString argument)
{
    argument.replace(u'%', QStringLiteral("%%"));
    const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    if (std::none_of(argument.cbegin(), argument.cend(), [&](QChar c) { return reserved.contains(c); }))
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20; });
}

} // namespace

QStringList SetupRequest::consoleDirectories()
{
    return {QStringLiteral("data"),          QStringLiteral("Dorvan301DK"),
            QStringLiteral("Dorvan302DK"),   QStringLiteral("Dorvan301DK_mess"),
            QStringLiteral("Dorvan302DK_mess"), QStringLiteral("QReport")};
}

QStringList SetupRequest::directories()
{
    return consoleDirectories() << QStringLiteral("ports");
}

bool SetupResult::ok() const
{
    return std::none_of(steps.cbegin(), steps.cend(),
                        [](const SetupStep &step) { return step.outcome == Outcome::Failed; });
}

QByteArray autostartEntryText(const QString &consoleProgram, const QString &workDir)
{
    // Exec is a string value as well: its backslashes are doubled once more.
    QString exec = execArgument(consoleProgram) + QStringLiteral(" --workdir ") + execArgument(workDir);
    exec.replace(u'\\', QStringLiteral("\\\\"));
    QString program = consoleProgram;
    program.replace(u'\\', QStringLiteral("\\\\"));
    // TryExec: once the package is purged the entry stays in the user's
    // home, and the session skips it instead of failing to start it.
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Dorvan Sensor Console\n"
                          "Name[ru]=Пульт контроля датчиков Дорван\n"
                          "Comment=Starts the sensor console at login\n"
                          "Comment[ru]=Запускает пульт при входе в систему\n"
                          "TryExec=%1\n"
                          "Exec=%2\n"
                          "Icon=dorvan-console\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(program, exec)
        .toUtf8();
}

SetupResult prepareWorkDir(const SetupRequest &request)
{
    SetupResult result;
    // The configuration file and the autostart entry are line-based.
    if (hasControlCharacter(request.workDir)) {
        result.steps.append(step(Outcome::Failed, request.workDir,
                                 QStringLiteral("путь рабочего каталога не может содержать переводы строк")));
        return result;
    }
    result.steps.append(makeDirectory(request.workDir));
    if (!result.ok())
        return result;
    const QDir dir(request.workDir);
    for (const QString &name : SetupRequest::directories())
        result.steps.append(makeDirectory(dir.filePath(name)));
    result.steps.append(copySound(request.soundSource, dir.filePath(QStringLiteral("Error.wav"))));
    if (!request.configFile.isEmpty())
        result.steps.append(writeConfig(request.configFile, request.workDir));
    if (!request.autostartFile.isEmpty())
        result.steps.append(writeNewFile(request.autostartFile,
                                         autostartEntryText(request.consoleProgram, request.workDir)));
    return result;
}

QString describeStep(const SetupStep &step)
{
    QString text;
    switch (step.outcome) {
    case Outcome::Created: text = QStringLiteral("создан   "); break;
    case Outcome::Kept: text = QStringLiteral("оставлен "); break;
    case Outcome::Failed: text = QStringLiteral("ОШИБКА   "); break;
    }
    text += step.path;
    if (!step.detail.isEmpty())
        text += QStringLiteral(" (") + step.detail + u')';
    return text;
}

} // namespace dorvan
