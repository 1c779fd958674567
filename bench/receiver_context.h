#pragma once

// bench_receiver.cpp still builds its link on the whole console context and
// names the fault boxes by their former name; bench/CMakeLists.txt puts this
// header in front of it until it builds a WorkContext of its own.

#include "base/context.h"
#include "base/faultboxes.h"

namespace dorvan {

using ReportQueue = FaultBoxes;

} // namespace dorvan
