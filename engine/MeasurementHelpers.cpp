#include "engine/MeasurementHelpers.h"

#include "engine/RunState.h"
#include "platform/Clipboard.h"
#include "platform/Conversions.h"
#include "platform/Deadline.h"
#include "platform/Host.h"

#include <algorithm>
#include <exception>

namespace kelvaran::engine {

namespace {
constexpr std::uint32_t kWhite = 0x00FFFFFF;
constexpr std::uint32_t kBlack = 0;
}  // namespace

MeasurementHelpers::MeasurementHelpers(RunState& state, platform::Clipboard& clipboard,
                                       platform::EventPump& events, platform::Timer& timer)
    : state_(state),
      clipboard_(clipboard),
      events_(events),
      timer_(timer),
      reference_(kBoxPixels, kBoxPixels, kWhite),
      checked_(kBoxPixels, kBoxPixels, kWhite) {}

void MeasurementHelpers::drawInto(platform::Raster& box, const platform::Raster& picture) {
    std::fill(box.pixels.begin(), box.pixels.end(), kWhite);
    const int w = std::min(box.width, picture.width);
    const int h = std::min(box.height, picture.height);
    // A rendering whose pixel buffer is shorter than its size says is drawn
    // as far as it reaches.
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * picture.width + x;
            if (at >= picture.pixels.size()) return;
            box.set(x, y, picture.pixels[at]);
        }
    }
}

void MeasurementHelpers::LoadReferencePicture() {
    try {
        pendingReferences_.push_back(clipboard_.metafileRenderingLater());
    } catch (const std::exception&) {
        return;  // the reference stays as it was
    }
    // The references loaded since the last drawn one are kept, so that one
    // that turns out to give nothing leaves the box as the one before it
    // would have made it.  Only so many are kept: a long run of objects that
    // are never compared then costs one drawing in that many.
    if (pendingReferences_.size() > kMostPendingReferences) settleReference();
}

void MeasurementHelpers::settleReference() {
    // The newest that gives a picture fills the box; the older ones would
    // only have been drawn over.
    while (!pendingReferences_.empty()) {
        const auto draw = std::move(pendingReferences_.back());
        pendingReferences_.pop_back();
        try {
            auto rendering = draw();
            if (!rendering || rendering->empty()) continue;
            drawInto(reference_, *rendering);
        } catch (const std::exception&) {
            continue;
        }
        pendingReferences_.clear();
        return;
    }
}

bool MeasurementHelpers::IsPictureBlackened(double ratio) {
    try {
        // The box shows the rendering's top-left corner only: no more of it
        // is drawn.
        auto rendering = clipboard_.metafileRenderingCorner(checked_.width, checked_.height);
        if (!rendering || rendering->empty()) return false;
        drawInto(checked_, *rendering);

        const int width = checked_.width;
        const int height = checked_.height;
        const std::int32_t limit = platform::toInt32(static_cast<double>(width) * ratio * height);
        // Only pixels black in the checked picture can count.  When there are
        // no more of them than the limit (nearly every photo), the answer is
        // no whatever the reference holds, and the reference is left to be
        // drawn when a comparison needs it: the box then ends as it would
        // have ended now.
        const auto black = std::count(checked_.pixels.begin(), checked_.pixels.end(), kBlack);
        if (black <= limit) return false;
        settleReference();
        std::int32_t count = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (checked_.at(x, y) == kBlack && reference_.at(x, y) != kBlack) {
                    ++count;
                    if (count > limit) return true;
                }
            }
        }
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

void MeasurementHelpers::SlowModeWait() {
    if (state_.waitMs > 0) {
        // The user's pause is not part of an object's time budget.
        const platform::DeadlinePause pause;
        events_.processEvents();
        timer_.sleep(state_.waitMs);
    }
}

}  // namespace kelvaran::engine
