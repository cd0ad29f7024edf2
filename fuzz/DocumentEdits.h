#pragma once

// What the document fuzz targets do to a document once it is read: the edits
// the in-process office makes when the engine replaces an object, done on the
// model directly, and every picture fed through the decoders within the
// budgets a conversion has.

#include "formats/model/Document.h"

namespace kelvaran::fuzz {

// Replaces every picture and embedded object the program may replace, as the
// office does it, with a small new PNG at the same displayed size: inline
// ones of the body and of text boxes (the new picture pasted before the old
// one, which is then erased), floating ones (the new picture added at the
// old one's anchor with its layout and place in the stack, the old one
// deleted) and the members of groups (the group taken apart, its pictures
// replaced, the shapes grouped again).  Returns how many were replaced.
int replaceEveryPicture(formats::model::Document& document);

// The live pictures of the document's editable stories and shapes.
int countPictures(const formats::model::Document& document);

// Reads the size of each distinct picture of the document and draws it small
// within the budgets; a refusal is not a fault.  No deadline: a picture that
// runs long is the fuzzer's finding (its -timeout), not a refusal.  Returns
// how many were drawn.
int drawEveryPicture(const formats::model::Document& document);

}  // namespace kelvaran::fuzz
