#include "app/cli/CliConsole.h"

#include "app/run/InputList.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace kelvaran::app {

namespace {
// Back to the start of the row, and the row emptied.
constexpr const char* kEraseRow = "\r\x1b[K";
}  // namespace

void CliConsole::line(const std::string& text) {
    hideProgress();
    err_ << text << '\n';
    showProgress();
    err_.flush();
}

void CliConsole::hideProgress() {
    if (!drawn_) return;
    err_ << kEraseRow << std::flush;
    drawn_ = false;
}

void CliConsole::showProgress() {
    if (!progressLine_ || progress_.empty() || drawn_) return;
    err_ << kEraseRow << progress_ << std::flush;
    drawn_ = true;
}

void CliConsole::setProgress(const std::string& text) {
    if (!progressLine_) return;
    progress_ = text;
    drawn_ = false;
    showProgress();
}

void CliConsole::endProgress() {
    hideProgress();
    progress_.clear();
}

std::string ProgressText(int index, int count, double bytesSaved, double secondsLeft, const std::string& path,
                         int objectIndex, int objectCount) {
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string text = "[" + std::to_string(index) + "/" + std::to_string(count) + "] ";
    if (objectCount > 0) {
        // Group members and text-box pictures come on top of the count the
        // walk announced; the display never runs past it.
        const int shown = std::clamp(objectIndex, 1, objectCount);
        text += "object " + std::to_string(shown) + "/" + std::to_string(objectCount) + ", ";
    }
    text += std::to_string(SizeInKB(std::max(0.0, bytesSaved))) + " KB saved so far";
    if (secondsLeft >= 0 && std::isfinite(secondsLeft)) {
        const auto seconds = static_cast<long long>(std::ceil(secondsLeft));
        text += seconds >= 120 ? ", about " + std::to_string((seconds + 59) / 60) + " min left"
                               : ", about " + std::to_string(seconds) + " s left";
    }
    return text + "  " + name;
}

}  // namespace kelvaran::app
