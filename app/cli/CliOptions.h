#pragma once

#include "app/cli/CliRun.h"

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::app {

class ReportSink;
class HtmlReportFolder;

// A command line that was read and checked: what the run is made with, the
// documents in the order given, the report when one was asked for, and the
// number of jobs.
struct CliRequest {
    CliRequest();
    ~CliRequest();
    CliRequest(CliRequest&&) noexcept;
    CliRequest& operator=(CliRequest&&) noexcept;

    BatchSettings settings;
    std::vector<std::string> entries;
    std::unique_ptr<ReportSink> report;
    // The folder the HTML report is built in, when one was asked for.
    std::unique_ptr<HtmlReportFolder> html;
    int jobs = 1;
};

// Reads `kelvaran-cli [OPTIONS] FILE...` over the stored settings and checks
// it and its input before any document is opened.  Nothing when the run may
// go ahead; otherwise the exit status, after the help or the version on
// `out`, or one line on `err` that says what is wrong.
std::optional<int> readCommandLine(int argc, const char* const* argv, const CliEnvironment& environment,
                                   std::ostream& out, std::ostream& err, CliRequest& request);

}  // namespace kelvaran::app
