#include "app/cli/CliApp.h"

#include "app/cli/CliOptions.h"
#include "app/cli/CliParallel.h"
#include "app/cli/CliRun.h"
#include "app/run/RunReport.h"

namespace kelvaran::app {

int runCli(int argc, const char* const* argv, const CliEnvironment& environment, std::ostream& out,
           std::ostream& err) {
    CliRequest request;
    if (const auto status = readCommandLine(argc, argv, environment, out, err, request)) return *status;
    if (request.jobs > 1 && request.entries.size() > 1) {
        return runParallel(request.jobs, request.settings, request.entries, environment, out, err,
                           request.report.get());
    }
    return runBatch(request.settings, request.entries, environment, out, err, request.report.get());
}

}  // namespace kelvaran::app
