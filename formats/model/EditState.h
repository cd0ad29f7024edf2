#pragma once

namespace kelvaran::formats::model {

// What happened to an object since it was read.  Writers patch the input:
// Unchanged objects keep their bytes, Replaced ones get new bytes in the same
// place, Deleted ones lose theirs, Added ones are written where they stand in
// their story.
enum class EditState { Unchanged, Replaced, Deleted, Added };

}  // namespace kelvaran::formats::model
