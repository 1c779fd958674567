#pragma once

// A real X server (Xvfb) with a real window manager (openbox) for the tests
// that must see windows as an operator's desktop shows them, and xdotool /
// xwininfo to act on them as another X client would.

#include "brokerrun.h"

#include <QProcess>
#include <QRect>
#include <QRegularExpression>

namespace dorvan::e2e {

class XDisplay
{
public:
    ~XDisplay()
    {
        for (QProcess *process : {&windowManager_, &server_}) {
            process->kill();
            process->waitForFinished(3000);
        }
    }

    // Empty when the display runs; else what is missing.
    QString start(const QSize &screen)
    {
        for (const char *tool : {"Xvfb", "openbox", "xdotool", "xwininfo"}) {
            if (program(QString::fromLatin1(tool)).isEmpty())
                return QStringLiteral("%1 is not installed (scripts/install-deps.sh installs it)").arg(QLatin1String(tool));
        }
        tieToTest(server_);
        server_.start(program(QStringLiteral("Xvfb")),
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                       QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()), QStringLiteral("-nolisten"),
                       QStringLiteral("tcp")});
        if (!server_.waitForReadyRead(10000))
            return QStringLiteral("Xvfb did not start");
        name_ = u':' + QString::fromLatin1(server_.readLine().trimmed());
        tieToTest(windowManager_);
        windowManager_.setProcessEnvironment(environment());
        windowManager_.start(program(QStringLiteral("openbox")), {});
        if (!windowManager_.waitForStarted(5000))
            return QStringLiteral("openbox did not start");
        return QString();
    }

    // What a program started on this display needs.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), name_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }

    // The first window whose title is `title`, 0 while there is none.
    qulonglong findWindow(const QString &title) const
    {
        const QString found = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), title});
        return found.section(u'\n', 0, 0).toULongLong();
    }
    QString xdotool(const QStringList &arguments) const { return run(QStringLiteral("xdotool"), arguments); }

    struct WindowState
    {
        bool viewable = false;
        QRect frame; // the client area: xwininfo's absolute position and size
    };
    WindowState state(qulonglong window) const
    {
        const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
        const auto number = [&info](const char *label) {
            const QRegularExpression line(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(label)));
            return line.match(info).captured(1).toInt();
        };
        return {info.contains(QLatin1String("IsViewable")),
                QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                      number("Height"))};
    }

private:
    QString run(const QString &tool, const QStringList &arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(program(tool), arguments);
        process.waitForFinished(5000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    QProcess server_;
    QProcess windowManager_;
    QString name_;
};

} // namespace dorvan::e2e
