#include "console/loggedprompter.h"

#include "base/log.h"

namespace dorvan {

void LoggedPrompter::message(const QString &text, const QString &caption, Icon icon)
{
    logBox(LogArea::Console, icon, caption, text);
    display_.message(text, caption, icon);
}

void LoggedPrompter::notify(const QString &text, const QString &caption, Icon icon,
                            const std::function<void()> &closed)
{
    logBox(LogArea::Console, icon, caption, text);
    display_.notify(text, caption, icon, closed);
}

bool LoggedPrompter::askYesNo(const QString &text, const QString &caption)
{
    return display_.askYesNo(text, caption);
}

std::optional<QString> LoggedPrompter::inputText(const QString &caption, const QString &prompt,
                                                 const QString &initial)
{
    return display_.inputText(caption, prompt, initial);
}

std::optional<QString> LoggedPrompter::openFile(const QString &directory, bool mustExist)
{
    return display_.openFile(directory, mustExist);
}

std::optional<Prompter::SavedFile> LoggedPrompter::saveFile(const QString &suggested,
                                                            const QStringList &filters)
{
    return display_.saveFile(suggested, filters);
}

} // namespace dorvan
