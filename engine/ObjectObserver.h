#pragma once

#include <cstdint>
#include <memory>
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
    // or the exception list), "linked" (a linked picture, left as it is) or
    // "failed" (left as it was after a failure).
    std::string decision;
    // Format labels of the conversion passes that ran for it, in order (a
    // first pass, a metafile fallback, a recompression); empty when none ran.
    std::vector<std::string> passes = {};
    // Stored size of each pass's picture, beside `passes`; 0 when the office
    // did not say.
    std::vector<double> passBytes = {};
    // The original as the office described it when it was copied: its
    // stored picture's encoding ("JPEG", "EMF"...; for an object, its
    // presentation picture), bytes and pixel size.  Empty and 0 when unknown.
    // An embedded object's class name ("Excel.Sheet.8"); empty for pictures
    // and when it cannot be read.
    std::string progId = {};
    std::string originalType = {};
    double originalBytes = 0;
    std::int32_t pixelWidth = 0;
    std::int32_t pixelHeight = 0;
    // Why it failed: the failure's own text; empty for every other decision.
    std::string reason = {};
    // The pictures themselves, for front ends that show them: the original's
    // stored picture and the last pass's new one with its encoding, shared
    // with the documents that hold them and valid beyond the call.  Null when
    // the office did not offer them.  An observer that keeps them keeps their
    // memory: draw what is needed during the call and let go.
    std::shared_ptr<const std::string> originalPicture = {};
    std::shared_ptr<const std::string> newPicture = {};
    std::string newType = {};
    // "header" or "footer" for an object of a header or footer story; empty
    // for the body and its text boxes (the placement tells those apart).
    std::string story = {};
};

class ObjectObserver {
public:
    virtual ~ObjectObserver() = default;
    virtual void objectDecided(const ObjectDecision& decision) = 0;
    // The walk of a document is about to look at `count` objects of its body
    // (inline and floating; members of groups and text-box pictures come on
    // top).  Told once per document.
    virtual void objectsAhead(std::int32_t count) { (void)count; }
};

}  // namespace kelvaran::engine
