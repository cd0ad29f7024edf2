#pragma once

// What the in-process Word and Excel put on the run's clipboard.  Both sides
// read each other's items; nothing outside office/native looks inside them.

#include "formats/model/FloatingShape.h"
#include "formats/model/InlineObject.h"
#include "formats/model/Story.h"
#include "imaging/Imaging.h"
#include "office/native/PictureRendering.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::office::native {

// A floating shape as copied: the shape with its group members and the text
// of a text box (its inline objects beside it; the story's inline elements
// index `textInlines`).
struct ClipShape {
    formats::model::FloatingShape shape;
    std::vector<ClipShape> members;
    std::optional<formats::model::Story> text;
    std::vector<formats::model::InlineObject> textInlines;
};

// A picture near a copied picture in its story, with its displayed size:
// the scratch sheet may draw it ahead (RenderAhead.h).
struct NearbyPicture {
    formats::model::PictureData picture;
    double widthPt = 0;
    double heightPt = 0;
};

// Word's Copy and Cut: the objects of the copied range, or the copied shapes.
// Text is not carried: the program copies objects only.
struct WordClip {
    std::vector<formats::model::InlineObject> inlines;
    std::vector<ClipShape> shapes;
    // The live inline pictures just before and just after a single copied
    // inline picture, in its story.
    std::optional<NearbyPicture> pictureBefore;
    std::optional<NearbyPicture> pictureAfter;
};

// A picture cut from the scratch sheet: its stored picture, its displayed
// size and the rendering at that size (96 pixels per inch) that went to the
// clipboard with it, drawn when first needed; no rendering when the shape
// was larger than the largest page, whose clipboard rendering is a smaller
// one.
struct SheetClip {
    formats::model::PictureData picture;
    double widthPt = 0;
    double heightPt = 0;
    std::shared_ptr<LazyRendering> rendering;
};

inline const std::string kWordClipFormat = "kelvaran.native.word-objects";
inline const std::string kSheetClipFormat = "kelvaran.native.sheet-picture";

}  // namespace kelvaran::office::native
