#pragma once

#include <QString>

namespace dorvan {

class HardwareSettings;
class Prompter;

// The password dialog's check: the typed text read as a 32-bit number equals
// the password. Numeric, so "000482915" is 482915; empty or letters never match.
bool passwordAccepted(const HardwareSettings &hardware, const QString &typed);

// "Принять" of the password change dialog: both entries numbers from 0 to
// 999999 and equal, else "Неверно указан пароль" and the old password stays.
// A new password is saved to hw.dat at once. Returns true when it changed.
bool acceptNewPassword(HardwareSettings &hardware, Prompter &prompter, const QString &first,
                       const QString &second);

} // namespace dorvan
