#include "base/workdirconfig.h"

#include "base/log.h"
#include "base/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace dorvan {

namespace {

// A configuration file of a few lines; anything larger is read up to here.
constexpr qint64 MaxConfigSize = 64 * 1024;

const QString WorkDirKey = QStringLiteral("workdir");

} // namespace

ConfigFiles ConfigFiles::fromEnvironment()
{
    // The XDG rules: an unset or relative XDG_CONFIG_HOME means ~/.config.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return {base + QStringLiteral("/dorvan-console/console.conf"),
            QStringLiteral("/etc/dorvan-console/console.conf"),
            base + QStringLiteral("/autostart/dorvan-console.desktop")};
}

ConfigRead readConfigFile(const QString &path)
{
    ConfigRead read;
    // A FIFO in its place must not hold up the start.
    int error = 0;
    const auto text = readRegularFile(path, MaxConfigSize, Links::Follow, error);
    if (!text && (error == ENOENT || error == DanglingLink)) // none, or a link to none
        return read;
    if (!text) {
        read.problem = ConfigRead::Problem::Unreadable;
        read.detail = fileErrorText(error);
        qCWarning(lcConfig, "cannot read %s: %s", qUtf8Printable(path), qUtf8Printable(read.detail));
        return read;
    }
    // "key = value" lines; '#' starts a comment line; unknown keys are
    // left for later versions. The last workdir line counts.
    QString value;
    for (const QByteArray &raw : text->split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 && line.left(equals).trimmed() == WorkDirKey)
            value = line.mid(equals + 1).trimmed();
    }
    if (value.isEmpty())
        return read;
    if (QDir::isRelativePath(value)) {
        read.problem = ConfigRead::Problem::Relative;
        read.detail = value;
        qCWarning(lcConfig, "%s: the working directory \"%s\" is not an absolute path",
                  qUtf8Printable(path), qUtf8Printable(value));
        return read;
    }
    read.workDir = QDir::cleanPath(value);
    return read;
}

QByteArray configFileText(const QString &workDir)
{
    return "# The working directory of dorvan-console (see dorvan-console(1)).\n"
           + (WorkDirKey + u'=' + workDir + u'\n').toUtf8();
}

WorkDirChoice chooseWorkDir(const QString &option, const ConfigFiles &files, const QString &currentDir)
{
    WorkDirChoice choice;
    if (!option.isEmpty()) {
        choice.source = WorkDirChoice::Source::Option;
        choice.dir = QDir::cleanPath(QDir(currentDir).absoluteFilePath(option));
        return choice;
    }
    const std::pair<QString, WorkDirChoice::Source> configs[] = {
        {files.user, WorkDirChoice::Source::UserConfig},
        {files.system, WorkDirChoice::Source::SystemConfig}};
    for (const auto &[path, source] : configs) {
        const ConfigRead read = readConfigFile(path);
        if (read.problem != ConfigRead::Problem::None || read.names()) {
            choice.source = source;
            choice.configPath = path;
            choice.dir = read.workDir;
            choice.problem = read.problem;
            choice.detail = read.detail;
            return choice;
        }
    }
    choice.dir = QDir::cleanPath(currentDir);
    return choice;
}

QString WorkDirChoice::problemText() const
{
    switch (problem) {
    case ConfigRead::Problem::Unreadable:
        return QStringLiteral("Не удаётся прочитать файл настройки %1: %2").arg(configPath, detail);
    case ConfigRead::Problem::Relative:
        return QStringLiteral("Файл настройки %1: рабочий каталог \"%2\" должен быть указан полным путём")
            .arg(configPath, detail);
    case ConfigRead::Problem::None: break;
    }
    return {};
}

QString WorkDirChoice::describe() const
{
    switch (source) {
    case Source::Option: return dir + QStringLiteral(" (from --workdir)");
    case Source::UserConfig:
    case Source::SystemConfig: return dir + QStringLiteral(" (from ") + configPath + u')';
    case Source::CurrentDirectory: break;
    }
    return dir + QStringLiteral(" (the current directory)");
}

} // namespace dorvan
