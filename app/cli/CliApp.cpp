#include "app/cli/CliApp.h"

#include "app/cli/CliOptions.h"
#include "app/cli/CliParallel.h"
#include "app/cli/CliRun.h"
#include "app/run/HtmlReport.h"
#include "app/run/RunReport.h"

#include <algorithm>
#include <ostream>

namespace kelvaran::app {

int runCli(int argc, const char* const* argv, const CliEnvironment& environment, std::ostream& out,
           std::ostream& err) {
    CliRequest request;
    if (const auto status = readCommandLine(argc, argv, environment, out, err, request)) return *status;
    int status = 0;
    if (request.jobs > 1 && request.entries.size() > 1) {
        status = runParallel(request.jobs, request.settings, request.entries, environment, out, err,
                             request.report.get());
    } else {
        status = runBatch(request.settings, request.entries, environment, out, err, request.report.get());
    }
    if (request.html) {
        // The parts of the jobs, or the one part of a plain run, make one page.
        try {
            WriteHtmlPage(request.html->work());
            request.html->commit();
        } catch (const std::exception& e) {
            err << "kelvaran-cli: the HTML report could not be written: " << e.what() << std::endl;
            status = std::max(status, kExitFailed);
        }
    }
    return status;
}

}  // namespace kelvaran::app
