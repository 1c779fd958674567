#include "console/workdirsetup.h"

#include "base/workdirconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace dorvan {

namespace {

Q_LOGGING_CATEGORY(lcSetup, "dorvan.setup")

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
        return step(Outcome::Failed, path, QStringLiteral("exists and is not a directory"));
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
        return step(Outcome::Kept, path, QStringLiteral("already there, left as it is"));
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
        return step(Outcome::Kept, target, QStringLiteral("already there, left as it is"));
    if (!QFileInfo(source).isFile())
        return step(Outcome::Failed, target,
                    QStringLiteral("the package's alarm sound %1 is missing; the console would only beep")
                        .arg(source));
    QFile file(source);
    if (!file.copy(target))
        return step(Outcome::Failed, target, file.errorString());
    return step(Outcome::Created, target, QStringLiteral("copied from ") + source);
}

SetupStep writeConfig(const QString &path, const QString &workDir)
{
    const ConfigRead read = readConfigFile(path);
    if (read.problem == ConfigRead::Problem::Unreadable)
        return step(Outcome::Failed, path, read.detail);
    if (QFileInfo::exists(path)) {
        if (read.names() && read.workDir == workDir)
            return step(Outcome::Kept, path, QStringLiteral("already names this directory"));
        return step(Outcome::Failed, path,
                    QStringLiteral("exists and names %1; edit or remove it")
                        .arg(read.names() ? read.workDir : QStringLiteral("no working directory")));
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

QStringList SetupRequest::directories()
{
    return {QStringLiteral("data"),          QStringLiteral("Dorvan301DK"),
            QStringLiteral("Dorvan302DK"),   QStringLiteral("Dorvan301DK_mess"),
            QStringLiteral("Dorvan302DK_mess"), QStringLiteral("QReport"),
            QStringLiteral("ports")};
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
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Dorvan Sensor Console\n"
                          "Name[ru]=Пульт контроля датчиков Дорван\n"
                          "Comment=Starts the sensor console at login\n"
                          "Exec=%1\n"
                          "Icon=dorvan-console\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec)
        .toUtf8();
}

SetupResult prepareWorkDir(const SetupRequest &request)
{
    SetupResult result;
    // The configuration file and the autostart entry are line-based.
    if (hasControlCharacter(request.workDir)) {
        result.steps.append(step(Outcome::Failed, request.workDir,
                                 QStringLiteral("a working directory's path may not hold line breaks")));
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
    case Outcome::Created: text = QStringLiteral("created  "); break;
    case Outcome::Kept: text = QStringLiteral("kept     "); break;
    case Outcome::Failed: text = QStringLiteral("FAILED   "); break;
    }
    text += step.path;
    if (!step.detail.isEmpty())
        text += QStringLiteral(" (") + step.detail + u')';
    return text;
}

} // namespace dorvan
