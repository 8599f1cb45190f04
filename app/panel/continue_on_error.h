// Steps that run with errors ignored: a step that fails is skipped and the next one runs, as
// start-up and the tray handlers do.
#pragma once

#include <exception>

namespace kestrane {

template <typename Step>
void Try(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace kestrane
