#pragma once

#include "formats/model/FloatingShape.h"
#include "formats/model/InlineObject.h"
#include "formats/model/Story.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvaran::formats::model {

struct PageLayoutCache;

// The page of a section: paper size and margins in points (Letter with the
// margins of a new document unless the file says otherwise).
struct PageSetup {
    double widthPt = 612;
    double heightPt = 792;
    double marginLeftPt = 90;
    double marginRightPt = 90;
    double marginTopPt = 72;
    double marginBottomPt = 72;
};

// A document as the readers fill it and the writers emit it: its stories, its
// inline objects and its floating shapes.  Objects and shapes are kept in
// tables with stable indexes; deleting one only marks it, so indexes held
// elsewhere stay valid for the document's life.
class Document {
public:
    // The format the document was read from ("rtf", "doc"), empty for a new one.
    std::string format;
    // The input bytes, for writers that patch them; empty for a new document.
    std::shared_ptr<const std::string> source;
    // stories[0] is the main story.
    std::vector<Story> stories{Story{}};
    std::vector<InlineObject> inlines;
    // Top-level shapes in collection order (order of reading, added ones at
    // the end); group members follow their own groups' `children`.
    std::vector<FloatingShape> shapes;
    // Everything a reader found but did not understand well enough to edit,
    // as messages for the user (never a reason to fail).
    std::vector<std::string> warnings;
    // Page setup of each section of the main story, in order; the last one
    // also holds for anything after it.  Empty: the default page.
    std::vector<PageSetup> sections;
    // Character size of paragraphs that do not give one.
    double defaultFontSizePt = 10.5;
    // Second copies of pictures kept only for readers that do not know the
    // picture beside them (RTF: a {\nonshppict} group right after a
    // {\*\shppict} one), as byte ranges of `source`.
    std::vector<ByteRange> fallbackPictures;
    // Picture data that nothing in the document shows (.doc: pictures of
    // the picture store that no shape names and no entry counts), in bytes.
    std::uint64_t unusedPictureBytes = 0;
    // Asks the writer to leave out the fallback pictures and the unused
    // picture data.  Nothing is lost for a reader that takes the picture
    // beside each fallback one, and the unused data is shown nowhere.
    bool dropFallbackPictures = false;

    Story& main() { return stories.front(); }
    const Story& main() const { return stories.front(); }

    // Inline objects of a story in text order, deleted ones left out.
    std::vector<int> inlinesOf(int story) const;
    // The same, one at a time: how many, and the one at `rank` (from 0; -1
    // when there are fewer).
    std::size_t inlineCount(int story) const;
    int inlineAt(int story, std::size_t rank) const;
    // Story::positionOf and Story::elementAt of a story of this document.
    //
    // These and locateInline answer from an index of the
    // stories, worked out when first asked and again after every change made
    // through the members below: a walk over many objects asks them for each
    // object.  Code that changes the stories or the inline objects' edit
    // states directly (a reader filling the document) calls changed() after.
    std::int64_t positionOf(int story, std::size_t element) const;
    std::size_t elementAt(int story, std::int64_t position) const;
    void changed() { ++revision_; }
    // Live top-level shapes (not group members) in collection order.
    std::vector<int> topLevelShapes() const;
    // Live shapes anchored in a story, top-level ones only.
    std::vector<int> shapesAnchoredIn(int story) const;
    // Where an inline object stands: its story and element, or {-1, -1}.
    std::pair<int, int> locateInline(int object) const;

    // Inserts an element at `index` of a story and moves every anchor at or
    // after it one element on.  An inline element must name an object of
    // this document.
    void insertElement(int story, std::size_t index, Element element);
    // Inserts an inline object before character position `position`; returns
    // the object's index.  The object is marked Added.
    int insertInline(int story, std::int64_t position, InlineObject object);
    // Removes characters [from, to) of a story: inline objects in it are
    // marked Deleted, shapes anchored in it too (with their members and text
    // stories' objects); anchors after the range move back.  A paragraph mark
    // that ends the story is kept.
    void eraseRange(int story, std::int64_t from, std::int64_t to);
    // Marks a shape Deleted, with its group members and the objects of its
    // text story, and takes it out of its group.
    void deleteShape(int shape);
    // Adds a shape (marked Added) at the end of the collection, in front of
    // every other shape; returns its index.
    int addShape(FloatingShape shape);

    // Estimated page (1-based) of a character position, from a simple layout
    // of the main story (PageLayout.cpp): the section's page size and
    // margins, character sizes and rough character widths, line wrapping,
    // paragraph spacing, table rows as blocks, inline object heights, and
    // every explicit page, section and page-before break.  Floating shapes,
    // frames, fonts' real metrics, widow control and the like are left out,
    // so it is an estimate, not the page an office suite would show.  A
    // position in a text box lies on the page of the box's anchor; other
    // stories (headers, notes) count their breaks only.
    //
    // The layout is worked out once for the document as it stands and kept
    // (with the page state every few paragraphs), so asking for every object
    // of a long document costs one layout, not one per object.  It is laid
    // out afresh after changed() or a change through the members below.
    int estimatePage(int story, std::int64_t position) const;
    // The same estimate laid out from the story's start, without the kept
    // layout: slow, for checking the kept one.
    int estimatePageFromStart(int story, std::int64_t position) const;

    // True when the document holds edits a writer has to apply.
    bool modified() const;

private:
    // Story::splitAt that keeps the anchors after the split on their elements.
    std::size_t splitStory(int story, std::int64_t position);
    void shiftAnchors(int story, std::size_t from, std::ptrdiff_t by);

    struct Index;
    const Index& index() const;
    // Built on demand and replaced, never changed, so copies of a document
    // may share it until one of them changes.
    mutable std::shared_ptr<const Index> index_;
    // The kept page layout of the main story, under the same rule.
    const PageLayoutCache& pageLayout() const;
    int pageInMainStory(std::int64_t position, bool fromStart) const;
    int estimateIn(int story, std::int64_t position, bool fromStart) const;
    mutable std::shared_ptr<const PageLayoutCache> pageLayout_;
    std::uint64_t revision_ = 0;
};

}  // namespace kelvaran::formats::model
