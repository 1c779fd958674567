#pragma once

#include "console/console.h"
#include "fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace dorvan::fuzz {

// One working directory for the whole run, holding the console's directories.
inline const QString &workDir()
{
    static QTemporaryDir dir;
    static const bool made = [] {
        for (const char *name : {"data", "Dorvan301DK", "Dorvan302DK", "Dorvan301DK_mess",
                                 "Dorvan302DK_mess", "QReport"})
            QDir(dir.path()).mkdir(QString::fromLatin1(name));
        return true;
    }();
    Q_UNUSED(made);
    static const QString path = dir.path();
    return path;
}

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

inline void writeFile(const QString &relative, const uint8_t *data, size_t size)
{
    QFile file(workDir() + u'/' + relative);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char *>(data), qint64(size));
}

inline void removeFile(const QString &relative)
{
    QFile::remove(workDir() + u'/' + relative);
}

// Every run of the console appends events; clear them so a long fuzzing
// session does not fill the disk.
inline void cleanEventFiles()
{
    for (const char *name : {"QReport", "Dorvan301DK_mess", "Dorvan302DK_mess"}) {
        QDir dir(workDir() + u'/' + QString::fromLatin1(name));
        for (const QString &file : dir.entryList(QDir::Files))
            dir.remove(file);
    }
}

// A console on fakes, fresh for every input.
struct Rig
{
    test::FakePrompter prompter;
    test::FakeClock clock;
    test::FakeSerialLine line;
    test::FakeAlarmSound sound;
    Console console{prompter, clock, line, sound};
    const ConsoleParts &parts = console.parts();
};

} // namespace dorvan::fuzz
