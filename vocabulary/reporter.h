#pragma once
// How a failure reaches the user when no caller is there to take it: a
// recording whose disk fills up, a device that goes away, a start asked for
// on the command line. The window hands one reporter to the parts that meet
// such failures; a test hands its own, so those parts run without a window.

#include "exception.h"

#include <functional>
#include <string>

// Shows message (UTF-8) to the user as it stands.
using TReporter = std::function<void(const std::string& message)>;

// Runs f; whatever it throws goes to report and no further (an exception
// must never cross Qt's event loop).
template <class F>
void RunReported(const TReporter& report, F&& f)
{
    try {
        f();
    } catch (...) {
        if (report)
            report(CurrentExceptionText());
    }
}
