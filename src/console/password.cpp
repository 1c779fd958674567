#include "console/password.h"

#include "base/russian.h"
#include "base/prompter.h"
#include "sensors/settingsfiles.h"

#include <optional>

namespace dorvan {

namespace {

constexpr quint32 LargestPassword = 999999;

// A negative entry read as unsigned is far above the limit, so it fails too.
std::optional<qint32> usablePassword(const QString &text)
{
    const auto number = ru::parseInt32(text);
    if (!number || quint32(*number) > LargestPassword)
        return std::nullopt;
    return number;
}

} // namespace

bool passwordAccepted(const HardwareSettings &hardware, const QString &typed)
{
    const auto number = ru::parseInt32(typed);
    return number && *number == hardware.password;
}

bool acceptNewPassword(HardwareSettings &hardware, Prompter &prompter, const QString &first,
                       const QString &second)
{
    const auto one = usablePassword(first);
    const auto two = usablePassword(second);
    if (!one || !two || *one != *two) {
        prompter.error(QStringLiteral("Неверно указан пароль"));
        return false;
    }
    hardware.password = *one;
    hardware.Save_Hw();
    return true;
}

} // namespace dorvan
