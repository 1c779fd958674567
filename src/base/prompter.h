#pragma once

#include "base/boxicon.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace dorvan {

// Every message box, question, input box and open-file dialog of the console
// goes through this seam, so the logic can run and be tested without widgets.
class Prompter
{
public:
    using Icon = BoxIcon;

    virtual ~Prompter() = default;

    // A box with an OK button; returns when the operator has pressed it.
    virtual void message(const QString &text, const QString &caption, Icon icon) = 0;
    // A box with an OK button that does not wait for it: `closed` runs once
    // the operator has dismissed it. A prompter that cannot leave a box open
    // shows it as message() does.
    virtual void notify(const QString &text, const QString &caption, Icon icon,
                        const std::function<void()> &closed)
    {
        message(text, caption, icon);
        if (closed)
            closed();
    }
    // A Yes/No box with the question icon; true for Yes.
    virtual bool askYesNo(const QString &text, const QString &caption) = 0;
    // An input box; nullopt when cancelled.
    virtual std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                             const QString &initial) = 0;
    // An open-file dialog started in the directory; nullopt when cancelled.
    virtual std::optional<QString> openFile(const QString &directory, bool mustExist) = 0;
    // A save-file dialog offering the file types `filters` ("CSV (*.csv)"),
    // started at `suggested` (a directory and a file name); the path chosen
    // and the index of its type, or nullopt when cancelled. A prompter
    // without such a dialog cancels.
    struct SavedFile
    {
        QString path;
        int filter = 0;
    };
    virtual std::optional<SavedFile> saveFile(const QString &suggested, const QStringList &filters)
    {
        Q_UNUSED(suggested);
        Q_UNUSED(filters);
        return std::nullopt;
    }

    // The console's two standard boxes.
    void error(const QString &text) { message(text, QStringLiteral("Ошибка"), Icon::Error); }
    void warning(const QString &text) { message(text, QStringLiteral("Внимание"), Icon::Warning); }
    // A plain message dialog captioned with the application's title.
    void plain(const QString &text) { message(text, applicationTitle(), Icon::None); }

    static QString applicationTitle() { return QStringLiteral("Пульт контроля датчиков Дорван"); }
};

} // namespace dorvan
