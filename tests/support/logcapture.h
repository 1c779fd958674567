#pragma once

#include <QStringList>
#include <QtGlobal>

namespace dorvan::test {

// While it lives, collects the lines the program logs ("category message")
// instead of printing them. One at a time.
class LogCapture
{
public:
    LogCapture() : previous_(qInstallMessageHandler(&LogCapture::collect)) { current() = this; }
    ~LogCapture()
    {
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines;

    // The lines that contain every one of the parts.
    QStringList linesWith(const QStringList &parts) const
    {
        QStringList found;
        for (const QString &line : lines) {
            bool all = true;
            for (const QString &part : parts)
                all = all && line.contains(part);
            if (all)
                found.append(line);
        }
        return found;
    }

private:
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static void collect(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        if (current())
            current()->lines.append(QString::fromLatin1(context.category) + QLatin1Char(' ') + message);
    }

    QtMessageHandler previous_;
};

} // namespace dorvan::test
