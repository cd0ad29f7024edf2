#pragma once

// Documents built in memory and a stand-in file format for the tests of the
// in-process Word and Excel: they must not depend on the real readers.

#include "formats/model/Document.h"
#include "imaging/Imaging.h"
#include "office/native/word/DocumentFiles.h"

#include <string>

namespace kelvaran::office::native::test {

// A picture of noise: large when stored losslessly, as photographs are.
imaging::Image noise(int width, int height, bool transparentCorner = false);
formats::model::PictureData pngPicture(int width, int height, bool transparentCorner = false);
// A photo-like JPEG (noise) of width x height pixels.
formats::model::PictureData jpegPicture(int width, int height);

// A stand-in "rtf" format whose files list the live objects and carry their
// picture bytes, so that file sizes follow what the objects cost.  It reads
// files that start with "FAKE-RTF" and gives them one inline picture.
FileFormat fakeRtf();

// "Intro" ¶ [picture 0] "tail" ¶ — with a page break before the second
// paragraph when `pageBreak`.
formats::model::Document documentWithInlinePicture(double widthPt, double heightPt, bool pageBreak = false);

// One paragraph with a floating picture anchored to it and a text box
// anchored too, whose text holds one inline picture.
formats::model::Document documentWithShapes();

}  // namespace kelvaran::office::native::test
