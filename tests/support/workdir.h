#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace dorvan::test {

// A temporary working directory with the six directories the console needs.
class WorkDir
{
public:
    explicit WorkDir(bool withDirectories = true)
    {
        if (withDirectories) {
            for (const char *name : {"data", "Dorvan301DK", "Dorvan302DK", "Dorvan301DK_mess",
                                     "Dorvan302DK_mess", "QReport"})
                QDir(dir_.path()).mkdir(QString::fromLatin1(name));
        }
    }
    QString path() const { return dir_.path(); }
    QString file(const QString &relative) const { return dir_.path() + u'/' + relative; }

private:
    QTemporaryDir dir_;
};

} // namespace dorvan::test
