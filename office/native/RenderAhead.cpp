#include "office/native/RenderAhead.h"

#include "imaging/PixelBudget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace kelvaran::office::native {

namespace {

constexpr std::size_t kMostUnderWay = 2;

// The most a drawing ahead may hold of a picture at once.
constexpr std::int64_t kHeldAhead = imaging::kMaxPictureBytes / 3;

}  // namespace

RenderAhead::RenderAhead(bool enabled) : enabled_(enabled) {}

RenderAhead::~RenderAhead() { clear(); }

bool RenderAhead::worthwhile() {
    if (const char* asked = std::getenv("KELVARAN_DRAW_AHEAD"); asked && std::strcmp(asked, "0") == 0) return false;
    return std::thread::hardware_concurrency() >= 2;
}

void RenderAhead::setEnabled(bool enabled) {
    if (!enabled) clear();
    enabled_ = enabled;
}

void RenderAhead::finish(Job& job, bool stop) {
    if (stop) job.stop.store(true);
    if (job.thread.joinable()) job.thread.join();
}

void RenderAhead::start(JpegDrawing drawing) {
    if (!enabled_ || !drawing.bytes) return;
    for (const auto& job : jobs_) {
        if (job->drawing == drawing) return;
    }
    if (jobs_.size() >= kMostUnderWay) {
        finish(*jobs_.front(), true);
        jobs_.erase(jobs_.begin());
    }
    auto job = std::make_unique<Job>();
    job->drawing = std::move(drawing);
    Job* const running = job.get();
    try {
        job->thread = std::thread([running] {
            // Whatever goes wrong here is found again, and told, by the
            // conversion that draws the picture itself.  A picture whose
            // decoder holds it whole (a progressive JPEG) may take the whole
            // byte budget, which drawings beside the conversion would
            // multiply: here it may hold a third of it at most.
            try {
                const JpegDrawing& d = running->drawing;
                running->result = imaging::renderJpeg(*d.bytes, d.type, d.width, d.height, d.quality, &running->stop,
                                                      kHeldAhead);
            } catch (...) {
                // No result: the conversion draws it.
            }
        });
    } catch (const std::system_error&) {
        return;  // no thread to be had: the conversion draws it itself
    }
    jobs_.push_back(std::move(job));
    ++started_;
}

std::optional<std::string> RenderAhead::take(const JpegDrawing& drawing) {
    if (jobs_.empty()) return std::nullopt;
    const auto found =
        std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& job) { return job->drawing == drawing; });
    // Everything started before the drawing asked for (or before the latest,
    // when it was not started) belongs to conversions already past.
    const bool startedAhead = found != jobs_.end();
    const auto stale = startedAhead ? found : jobs_.end() - 1;
    for (auto it = jobs_.begin(); it != stale; ++it) finish(**it, true);
    jobs_.erase(jobs_.begin(), stale);
    if (!startedAhead) return std::nullopt;
    Job& job = *jobs_.front();
    finish(job, false);
    std::optional<std::string> result = std::move(job.result);
    jobs_.erase(jobs_.begin());
    if (result) ++taken_;
    return result;
}

void RenderAhead::clear() {
    for (auto& job : jobs_) job->stop.store(true);
    for (auto& job : jobs_) finish(*job, true);
    jobs_.clear();
}

}  // namespace kelvaran::office::native
