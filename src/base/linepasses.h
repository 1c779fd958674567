#pragma once

#include <QtGlobal>

namespace dorvan {

// How far the line's polling cycle has got: the passes made in this run and
// the wall-clock time of the last one (UTC ms since the epoch, 0 before the
// first).
struct LinePasses
{
    quint64 count = 0;
    qint64 lastUtcMs = 0;
};

} // namespace dorvan
