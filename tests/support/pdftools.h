#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace dorvan::test {

// The standard output of a program that ran to a zero exit; empty otherwise.
inline QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The page count pdfinfo gives, -1 when it gives none.
inline int pdfPages(const QString &pdf)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(runTool("pdfinfo", {pdf}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The text of a PDF laid out as printed: of every page, or of page `page` (from 1).
inline QString pdfText(const QString &pdf, int page = 0)
{
    QStringList arguments{QStringLiteral("-layout")};
    if (page > 0)
        arguments << "-f" << QString::number(page) << "-l" << QString::number(page);
    return runTool("pdftotext", arguments << pdf << "-");
}

} // namespace dorvan::test
