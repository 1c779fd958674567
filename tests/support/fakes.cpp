#include "fakes.h"

namespace dorvan::test {

namespace {
std::optional<QString> takeFront(std::deque<std::optional<QString>> &queue)
{
    if (queue.empty())
        return std::nullopt;
    const bool answered = queue.front().has_value();
    const QString text = queue.front().value_or(QString());
    queue.pop_front();
    if (!answered)
        return std::nullopt;
    return text;
}
} // namespace

void FakePrompter::message(const QString &text, const QString &caption, Icon icon)
{
    shown.append({text, caption, icon});
    if (whileOpen)
        whileOpen();
}

bool FakePrompter::askYesNo(const QString &text, const QString &caption)
{
    shown.append({text, caption, Icon::Question});
    if (answers.empty())
        return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> FakePrompter::inputText(const QString &caption, const QString &prompt,
                                               const QString &)
{
    shown.append({prompt, caption, Icon::None});
    return takeFront(inputs);
}

std::optional<QString> FakePrompter::openFile(const QString &directory, bool)
{
    openFileDirectories.append(directory);
    return takeFront(files);
}

std::optional<Prompter::SavedFile> FakePrompter::saveFile(const QString &, const QStringList &)
{
    if (saves.empty())
        return std::nullopt;
    const std::optional<SavedFile> answer = saves.front();
    saves.pop_front();
    return answer;
}

QStringList FakePrompter::texts() const
{
    QStringList result;
    for (const auto &box : shown)
        result.append(box.text);
    return result;
}

bool FakeSerialLine::open(const QString &portName, int baudRate)
{
    ++openCount;
    openedName = portName;
    openedBaud = baudRate;
    opened = !failOpen;
    return opened;
}

bool FakeSerialLine::readByte(quint8 &byte)
{
    if (!opened || incoming.isEmpty())
        return false;
    byte = quint8(incoming.front());
    incoming.remove(0, 1);
    return true;
}

bool FakeSerialLine::writeByte(quint8 byte)
{
    if (!opened || failWrite)
        return false;
    written.append(char(byte));
    return true;
}

} // namespace dorvan::test
