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
        if (withDirectories)
            makeDirectories(dir_.path());
    }
    QString path() const { return dir_.path(); }
    QString file(const QString &relative) const { return dir_.path() + u'/' + relative; }

    static void makeDirectories(const QString &path)
    {
        for (const char *name : {"data", "Dorvan301DK", "Dorvan302DK", "Dorvan301DK_mess",
                                 "Dorvan302DK_mess", "QReport"})
            QDir(path).mkdir(QString::fromLatin1(name));
    }

private:
    QTemporaryDir dir_;
};

} // namespace dorvan::test
