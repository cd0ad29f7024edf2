#pragma once

#include "formats/model/EditState.h"
#include "formats/model/Origin.h"
#include "formats/model/PictureData.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kelvaran::formats::model {

// Shape types, with the Word object model's values.
namespace shape_type {
constexpr int kRectangle = 1;
constexpr int kGroup = 6;
constexpr int kEmbeddedObject = 7;
constexpr int kLinkedPicture = 11;
constexpr int kOval = 9;
constexpr int kPicture = 13;
constexpr int kMedia = 16;
constexpr int kTextBox = 17;
constexpr int kOther = -2;  // anything else the readers meet (arrows, callouts, ...)
}  // namespace shape_type

// Text wrapping around a floating shape, with the Word object model's values:
// type 0 square, 1 tight, 2 through, 3 in front of the text (no wrap), 4 top
// and bottom, 5 behind the text; side 0 both, 1 left, 2 right, 3 largest.
struct Wrap {
    int type = 3;
    int side = 0;
    double distanceTopPt = 0;
    double distanceBottomPt = 0;
    double distanceLeftPt = 0;
    double distanceRightPt = 0;
    bool allowOverlap = true;
};

// What the position and size are relative to, with the Word object model's
// values.  Horizontal position: 0 margin, 1 page, 2 column, 3 character, 4-7
// margin areas.  Vertical position: 0 margin, 1 page, 2 paragraph, 3 line, 4-7
// margin areas.  Sizes: 0 margin, 1 page, 2-5 margin areas.
struct RelativeLayout {
    int horizontalPosition = 2;
    int verticalPosition = 2;
    int horizontalSize = 0;
    int verticalSize = 0;
};

// Where a shape is anchored: the element of a story before which it stands.
struct Anchor {
    int story = 0;
    int element = 0;
};

struct FloatingShape {
    std::string name;  // "Picture 3", "Object 1", "Text Box 2", "Group 4"
    int type = shape_type::kPicture;
    // Rectangle in points relative to the anchor's origin (for a group member:
    // relative to the same origin as its group).
    double leftPt = 0;
    double topPt = 0;
    double widthPt = 0;
    double heightPt = 0;
    double rotation = 0;  // degrees, clockwise
    bool flipHorizontal = false;
    bool flipVertical = false;
    // Stacking: a larger value lies in front.  Values need not be contiguous.
    std::int64_t stackPosition = 0;
    bool behindText = false;
    Wrap wrap;
    RelativeLayout relative;
    // Line, fill and shadow formatting in the format's own property names and
    // value texts.  Copied as a whole from one shape to another; a writer
    // emits what it recognises as its own.
    std::map<std::string, std::string> formatting;
    // Pictures and objects: the picture (for objects the presentation).
    PictureData picture;
    std::string progId;  // objects only
    bool lockAspectRatio = true;
    // Groups: the members, as indexes into Document::shapes.  A group made
    // in memory (Added) may hold members read from the input: those carry
    // `layoutChanged` and have to be moved into the new group by a writer.
    std::vector<int> children;
    int parent = -1;  // the group this shape belongs to
    // Text boxes: their text, as an index into Document::stories.
    int textStory = -1;
    Anchor anchor;
    bool inHeader = false;
    EditState edit = EditState::Unchanged;
    // Position, size, rotation, wrapping, stacking or formatting changed while
    // the content stayed; also set on a group whose members changed.
    bool layoutChanged = false;
    Origin origin;
    // An added shape that was put exactly in the place of a shape deleted
    // afterwards names it here, so a writer may emit it where the deleted one
    // was (inside the same group, for instance).  -1 when none.
    int standsFor = -1;
    // A former group member that was taken out of its group: the group (now
    // Deleted) whose bytes still hold this shape's.  A writer emits such a
    // shape on its own at its anchor.  -1 when none.
    int ungroupedFrom = -1;
};

}  // namespace kelvaran::formats::model
