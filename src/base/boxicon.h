#pragma once

namespace dorvan {

// The icon of a message box; the log tells errors and warnings apart by it.
enum class BoxIcon { None, Error, Warning, Information, Question };

} // namespace dorvan
