#pragma once

#include "formats/model/PictureData.h"
#include "office/native/ClipboardItems.h"
#include "office/native/RenderAhead.h"

#include <memory>
#include <optional>
#include <string>

namespace kelvaran::office::native {

// What the sheet learns of the pictures pasted from Word to draw the next
// one ahead: the picture last pasted with its displayed size and the
// pictures around it in its story, the way the conversions go through the
// story (from its end, unless they are seen to go forward), and the ratio of
// the size a picture is cut at (the size it is drawn at) to its displayed
// size.
class DrawAheadGuess {
public:
    void pasted(const formats::model::PictureData& picture, double widthPt, double heightPt,
                std::optional<NearbyPicture> before, std::optional<NearbyPicture> after);
    // A picture cut from the sheet at widthPt x heightPt.
    void cut(const formats::model::PictureData& picture, double widthPt, double heightPt);
    // The drawing the next picture will likely ask for when stored as JPEG
    // at `quality`; nothing when there is no next picture, no ratio learnt
    // yet, or the next one would not be drawn that way.
    std::optional<JpegDrawing> nextDrawing(int quality) const;

private:
    std::shared_ptr<const std::string> pastedBytes_;
    double pastedWidthPt_ = 0;
    double pastedHeightPt_ = 0;
    std::optional<NearbyPicture> before_;
    std::optional<NearbyPicture> after_;
    bool backward_ = true;
    bool cutSeen_ = false;
    double ratioX_ = 0;
    double ratioY_ = 0;
    // A cut at exactly the picture's own pixels was seen: sizes are kept
    // within them.
    bool capped_ = false;
};

}  // namespace kelvaran::office::native
