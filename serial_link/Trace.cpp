#include "Trace.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tarnlink {

namespace {

bool tracing()
{
    const char* setting = std::getenv("TARNLINK_DEBUG");
    return setting != nullptr && setting[0] != '\0' && std::string_view(setting) != "0";
}

}  // namespace

void trace_failure(std::string_view port_name, std::string_view step, std::string_view detail)
{
    if (!tracing()) {
        return;
    }
    // One write, so that lines from two threads or processes never mix.
    std::string line = "tarnlink: ";
    line.append(port_name).append(": ").append(step).append(": ").append(detail).append("\n");
    std::fputs(line.c_str(), stderr);
}

}  // namespace tarnlink
