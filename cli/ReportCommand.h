// quillon-cli report: a series or one log as a report in one HTML file.
#pragma once

#include "CommandLine.h"

namespace quillon::cli {

// report FILE|DIR... --out FILE [the options of series] [--context K]
// [--lang en|ja]
Exit report_of_logs(const Invocation& call);

}  // namespace quillon::cli
