#pragma once

#include <QCommandLineParser>
#include <QSettings>
#include <QString>

#include <memory>
#include <optional>
#include <span>

namespace dorvan {

// One setting of a program: a command-line option and, for a program with a
// configuration file, the file's key of the same name.
struct OptionEntry
{
    const char *name;
    const char *valueName; // nullptr: a switch (true/false in the file)
    const char *description; // UTF-8
    const char *shortName = nullptr; // a one-letter alias on the command line
};

void addOptions(QCommandLineParser &parser, std::span<const OptionEntry> options);

// -h/--help and -v/--version, worded for the operator's programs.
std::span<const OptionEntry> helpAndVersionOptions();

// The INI file (keys without a section) --config names; nullptr with the
// reason when it cannot be read, is not INI, or holds a key that none of
// the lists names.
std::unique_ptr<QSettings> openConfigFile(const QString &path,
                                          std::initializer_list<std::span<const OptionEntry>> known, QString *error);

// The settings' values: the command line's, else the file's, else none.
class OptionValues
{
public:
    OptionValues(const QCommandLineParser &parser, const QSettings *file) : parser_(parser), file_(file) {}

    // Given on the command line or in the file, with or without a value.
    bool has(const char *name) const;
    std::optional<QString> text(const char *name) const;
    // A switch on the command line, or true/false (yes/no, on/off, 1/0) in the file.
    std::optional<bool> flag(const char *name, QString *error) const;
    std::optional<int> number(const char *name, int fallback, int low, int high, QString *error) const;

private:
    const QCommandLineParser &parser_;
    const QSettings *file_;
};

// A secret must be kept from other users: false with the reason for a file
// others may read or write, or that cannot be read.
bool privateFile(const QString &key, const QString &path, QString *error);

} // namespace dorvan
