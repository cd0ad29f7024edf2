#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvaran::engine {

// What the walk decided about one object, for front ends that report on
// every object.  The engine converts the same with or without an observer.
struct ObjectDecision {
    std::string kind;       // "Picture", or the application key of an embedded object
    std::string placement;  // "inline", "layout_frame", "text_frame" or "floating"
    std::int32_t page = 0;  // 0 when not read
    double displayWidth = 0;   // points; 0 when not read
    double displayHeight = 0;
    double bytesBefore = 0;  // the object's stored size; 0 when not measured
    double bytesAfter = 0;   // the new picture's; 0 when none was measured
    std::string format;      // the new picture's format label; empty when none
    // "replaced", "below_minimum" (smaller than the size condition),
    // "not_smaller" (not below the expected rate), "blackened" (JPEG came out
    // black also as a metafile), "excluded" (not converted by the conditions
    // or the exception list) or "failed" (left as it was after a failure).
    std::string decision;
    // Format labels of the conversion passes that ran for it, in order (a
    // first pass, a metafile fallback, a recompression); empty when none ran.
    std::vector<std::string> passes = {};
};

class ObjectObserver {
public:
    virtual ~ObjectObserver() = default;
    virtual void objectDecided(const ObjectDecision& decision) = 0;
};

}  // namespace kelvaran::engine
