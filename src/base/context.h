#pragma once

#include "base/prompter.h"
#include "base/workcontext.h"

#include <utility>

namespace dorvan {

// The operator's side of the console: the work context and the prompter
// for his questions and the refusals of his own commands, which may wait.
struct ConsoleContext : WorkContext
{
    ConsoleContext(QString workDir, Prompter &prompter, FaultReporter &faults, Clock &clock)
        : WorkContext{std::move(workDir), faults, clock}, prompter(prompter)
    {
    }

    Prompter &prompter;
};

} // namespace dorvan
