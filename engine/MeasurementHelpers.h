#pragma once

#include "platform/Raster.h"

#include <functional>
#include <optional>
#include <vector>

namespace kelvaran::platform {
class Clipboard;
class EventPump;
class Timer;
}  // namespace kelvaran::platform

namespace kelvaran::engine {

struct RunState;

// The picture comparison behind the JPEG fallback and the slow-mode wait.
//
// Two off-screen rasters of equal size stand for the comparison boxes: the
// reference (the old object as it was copied) and the checked picture (the
// converted one).  Each is filled white and then gets the clipboard's
// metafile rendering drawn at its own size from the top-left corner, clipped
// to the box.
class MeasurementHelpers {
public:
    // The boxes' drawing area: 1500 twips at 15 twips per pixel, less a border
    // of 2 pixels on each side.
    static constexpr int kBoxPixels = 96;

    MeasurementHelpers(RunState& state, platform::Clipboard& clipboard, platform::EventPump& events,
                       platform::Timer& timer);

    // Keeps the clipboard's current rendering as the reference.  Without a
    // rendering the reference stays as it was.  Never throws.  The rendering
    // is drawn when a comparison first needs it, not here: an object that
    // turns out too small to convert is never drawn.
    void LoadReferencePicture();

    // True when more than round(width * ratio * height) pixels are pure black
    // in the clipboard's rendering but not in the reference.  False without a
    // rendering (the checked box then stays as it was).  The references
    // loaded are drawn only when the answer depends on them.  Never throws.
    bool IsPictureBlackened(double ratio);

    // In slow mode (waitMs > 0) lets pending events run, then waits waitMs.
    void SlowModeWait();

    const platform::Raster& reference() {
        settleReference();
        return reference_;
    }
    const platform::Raster& checked() const { return checked_; }

private:
    static void drawInto(platform::Raster& box, const platform::Raster& picture);
    // Draws the newest reference kept by LoadReferencePicture that gives a
    // picture, if not done yet.
    void settleReference();

    RunState& state_;
    platform::Clipboard& clipboard_;
    platform::EventPump& events_;
    platform::Timer& timer_;
    platform::Raster reference_;
    platform::Raster checked_;
    // The references loaded and not drawn yet, oldest first.
    static constexpr std::size_t kMostPendingReferences = 64;
    std::vector<std::function<std::optional<platform::Raster>()>> pendingReferences_;
};

}  // namespace kelvaran::engine
