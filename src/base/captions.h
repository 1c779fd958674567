#pragma once

#include <QHash>
#include <QObject>
#include <QString>

namespace dorvan {

// The texts of the main window's labels and status-bar panels, by the name of
// the control that shows them ("Label8", "N_rv_byte", "StatusBar1.2", ...).
// The core writes them; the window shows them.
class Captions : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    QString text(const QString &name) const { return texts_.value(name); }
    void set(const QString &name, const QString &text)
    {
        auto it = texts_.find(name);
        if (it != texts_.end() && *it == text)
            return;
        texts_.insert(name, text);
        emit changed(name, text);
    }
    static QString panel(int index) { return QStringLiteral("StatusBar1.%1").arg(index); }

signals:
    void changed(const QString &name, const QString &text);

private:
    QHash<QString, QString> texts_;
};

} // namespace dorvan
