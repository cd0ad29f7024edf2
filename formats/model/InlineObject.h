#pragma once

#include "formats/model/Borders.h"
#include "formats/model/EditState.h"
#include "formats/model/Origin.h"
#include "formats/model/PictureData.h"

#include <string>

namespace kelvaran::formats::model {

// A linked picture shows the file it names (and the copy kept of it, if any).
enum class InlineKind { Picture, EmbeddedObject, LinkedObject, LinkedPicture };

// A picture or an object of another application that stands in the text as one
// character.  For objects `picture` is the presentation picture: what the
// object looks like.
struct InlineObject {
    InlineKind kind = InlineKind::Picture;
    // Displayed size in points, scale and crop applied.
    double widthPt = 0;
    double heightPt = 0;
    PictureData picture;
    // The object's class name ("Excel.Sheet.8"); empty for pictures.
    std::string progId;
    bool lockAspectRatio = true;
    Borders borders;
    // The object's own link or embedding data is not held here: it stays in
    // the input and goes with the object's bytes.
    EditState edit = EditState::Unchanged;
    // Size, borders or aspect lock changed while the picture stayed.
    bool layoutChanged = false;
    Origin origin;
};

}  // namespace kelvaran::formats::model
