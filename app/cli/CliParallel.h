#pragma once

#include "app/cli/CliRun.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace kelvaran::app {

// Up to `jobs` batch runs at once over consecutive parts of the input list,
// each in a process of its own with its own office.  Their log, messages and
// report records are passed on part after part once all have ended, so
// nothing of two documents is ever mixed and the input order is kept.
int runParallel(int jobs, const BatchSettings& settings, const std::vector<std::string>& entries,
                const CliEnvironment& environment, std::ostream& out, std::ostream& err, ReportSink* report);

}  // namespace kelvaran::app
