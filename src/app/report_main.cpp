// dorvan-report: the console's event files as CSV or JSON lines, without a window.

#include "base/workdirconfig.h"
#include "report/reportcommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dorvan-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DORVAN_VERSION));
    QFile standardOutput;
    if (!standardOutput.open(stdout, QIODevice::WriteOnly))
        return 1;
    return dorvan::runReportProgram(QCoreApplication::arguments(), standardOutput,
                                    dorvan::ConfigFiles::fromEnvironment(), QDir::currentPath());
}
