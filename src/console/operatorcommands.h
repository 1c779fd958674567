#pragma once

#include "base/prompter.h"
#include "sensors/settingsfiles.h"

#include <optional>

namespace dorvan {

// "Добавить": asks for a name; returns the index of the new entry to
// select in the pick list, or nullopt when nothing was added.
std::optional<int> Add_operator(OperatorList &operators, Prompter &prompter);
// "Удалить": asks for confirmation; true when entry `index` was removed.
bool Remove_operator(OperatorList &operators, Prompter &prompter, int index);

} // namespace dorvan
