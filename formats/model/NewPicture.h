#pragma once

#include "formats/model/PictureData.h"

#include <string>

namespace kelvaran::formats::model {

// A picture made by the program (a compressed rendering) that takes the place
// of an object or is added to a document.  The writers emit it from exactly
// these fields: no crop, no scale other than bytes-to-display.
struct NewPicture {
    PictureFormat type = PictureFormat::Unknown;
    std::shared_ptr<const std::string> bytes;  // the encoded file
    int pixelWidth = 0;
    int pixelHeight = 0;
    double widthPt = 0;  // displayed size
    double heightPt = 0;

    // The picture as stored data; its natural size is the displayed size.
    PictureData toPictureData() const {
        PictureData data;
        data.type = type;
        data.bytes = bytes;
        data.pixelWidth = pixelWidth;
        data.pixelHeight = pixelHeight;
        data.naturalWidthPt = widthPt;
        data.naturalHeightPt = heightPt;
        return data;
    }
};

}  // namespace kelvaran::formats::model
