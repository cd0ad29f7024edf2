#pragma once

#include <iosfwd>
#include <string>

namespace kelvaran::app {

// Standard error of the command line: whole lines, and on a terminal one
// progress line kept at the bottom and redrawn in place.  Anything else that
// is written to the terminal (a line here, the log on standard output) first
// takes the progress line away and puts it back afterwards, so the two never
// share a row.  Without a terminal there is no progress line at all.
class CliConsole {
public:
    CliConsole(std::ostream& err, bool progressLine) : err_(err), progressLine_(progressLine) {}

    bool showsProgress() const { return progressLine_; }
    // One line of text.
    void line(const std::string& text);
    // Around output to the same terminal through another stream.
    void hideProgress();
    void showProgress();
    // Replaces the progress text; ignored without a progress line.
    void setProgress(const std::string& text);
    // Takes the progress line away for good.
    void endProgress();

private:
    std::ostream& err_;
    bool progressLine_;
    std::string progress_;
    bool drawn_ = false;
};

// The progress text: document i of N, object j of M of that document when
// the walk has told how many lie ahead (M 0 or less: not told), the bytes
// saved so far, the time left when it can be told (negative: not yet), the
// document's name.
std::string ProgressText(int index, int count, double bytesSaved, double secondsLeft, const std::string& path,
                         int objectIndex = 0, int objectCount = 0);

}  // namespace kelvaran::app
