#pragma once

namespace kelvaran::formats::model {

// What happened to an object since it was read.  Writers patch the input:
// Unchanged objects keep their bytes (a `layoutChanged` flag asks for new
// size, position or border values only), Replaced ones are written anew from
// the model in the same place, Deleted ones lose their bytes, Added ones are
// written where they stand in their story.  An object that was added and then
// deleted again never reaches the file: a Deleted object matters only when its
// origin points into the document's own source.
enum class EditState { Unchanged, Replaced, Deleted, Added };

}  // namespace kelvaran::formats::model
