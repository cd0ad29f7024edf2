#pragma once

// Photos are converted one after another, and storing one as JPEG keeps
// about one core busy.  While one is converted, the next picture of the
// document can be drawn and stored beside it on another core, at the size
// the one before was drawn at relative to its displayed size.  A conversion
// that then asks for exactly that drawing takes the result; any other draws
// as before.  The bytes are the same either way: the same call with the
// same arguments makes them.

#include "imaging/Imaging.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kelvaran::office::native {

// One JPEG drawing of a picture's bytes: everything imaging::renderJpeg's
// result depends on.  The bytes are held, so a drawing under way never
// outlives them; two keys are the same drawing when they hold the same bytes
// (the same shared buffer) at the same size and quality.
struct JpegDrawing {
    std::shared_ptr<const std::string> bytes;
    imaging::PictureType type = imaging::PictureType::Unknown;
    int width = 0;
    int height = 0;
    int quality = 0;

    bool operator==(const JpegDrawing& other) const {
        return bytes == other.bytes && type == other.type && width == other.width && height == other.height &&
               quality == other.quality;
    }
};

// Drawings started ahead, each on a thread of its own, at most two at once.
class RenderAhead {
public:
    // Disabled, start() does nothing and take() has nothing.
    explicit RenderAhead(bool enabled);
    ~RenderAhead();
    RenderAhead(const RenderAhead&) = delete;
    RenderAhead& operator=(const RenderAhead&) = delete;

    // Whether pictures are drawn ahead: on a machine of two cores or more
    // unless KELVARAN_DRAW_AHEAD is 0.
    static bool worthwhile();

    bool enabled() const { return enabled_; }
    // Disabling stops what is under way.
    void setEnabled(bool enabled);

    // Starts drawing `drawing` unless it is under way already.  With two
    // drawings under way, the older is stopped first: what was started
    // before the conversion in hand is of no more use.
    void start(JpegDrawing drawing);

    // The bytes of `drawing` when it was started ahead and succeeded, after
    // waiting for it to end.  Nothing otherwise: it was not started, or it
    // failed (a damaged picture, the deadline in force), and the caller
    // draws it itself, failing as it always did.  Drawings started before it
    // are stopped; when it was not started, all but the latest are.
    std::optional<std::string> take(const JpegDrawing& drawing);

    // Stops every drawing under way and waits for them.
    void clear();

    // Drawings started, and taken with a result, since the start: what the
    // tests and the benchmark look at.
    int started() const { return started_; }
    int taken() const { return taken_; }

private:
    struct Job {
        JpegDrawing drawing;
        std::atomic<bool> stop{false};
        std::optional<std::string> result;
        std::thread thread;
    };

    static void finish(Job& job, bool stop);

    bool enabled_;
    std::vector<std::unique_ptr<Job>> jobs_;  // oldest first
    int started_ = 0;
    int taken_ = 0;
};

}  // namespace kelvaran::office::native
