#include "formats/model/Document.h"

#include <gtest/gtest.h>

namespace kelvaran::formats::model {
namespace {

// "ab" [pic0] "cd" ¶ "ef" [pic1] ¶   with a shape anchored before "ef".
Document sample() {
    Document doc;
    doc.inlines.resize(2);
    auto& story = doc.main();
    story.elements.push_back(Element::textRun("ab", 2));
    story.elements.push_back(Element::inlineObject(0));
    story.elements.push_back(Element::textRun("cd", 2));
    story.elements.push_back(Element::paragraphMark());
    story.elements.push_back(Element::textRun("ef", 2));
    story.elements.push_back(Element::inlineObject(1));
    story.elements.push_back(Element::paragraphMark());
    FloatingShape shape;
    shape.name = "Picture 1";
    shape.anchor = {0, 4};
    doc.shapes.push_back(shape);
    return doc;
}

TEST(DocumentTest, InsertInlineSplitsTextAndMovesLaterAnchors) {
    Document doc = sample();
    InlineObject added;
    added.widthPt = 10;
    const int index = doc.insertInline(0, 1, added);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(doc.inlines[2].edit, EditState::Added);
    EXPECT_EQ((std::vector<int>{2, 0, 1}), doc.inlinesOf(0));
    EXPECT_EQ(doc.main().length(), 11);
    // The shape stood before "ef": two elements were added before it.
    EXPECT_EQ(doc.shapes[0].anchor.element, 6);
    EXPECT_EQ(doc.main().elements[6].text, "ef");
}

TEST(DocumentTest, InsertBeforeAnObjectPutsTheNewOneFirst) {
    Document doc = sample();
    doc.insertInline(0, 2, InlineObject{});
    EXPECT_EQ((std::vector<int>{2, 0, 1}), doc.inlinesOf(0));
    EXPECT_EQ(doc.locateInline(0), std::make_pair(0, 2));
}

TEST(DocumentTest, InsertElementRefusesAnUnknownObject) {
    Document doc = sample();
    EXPECT_THROW(doc.insertElement(0, 0, Element::inlineObject(7)), std::out_of_range);
    EXPECT_THROW(doc.insertElement(3, 0, Element::pageBreak()), std::out_of_range);
}

TEST(DocumentTest, EraseRangeMarksObjectsDeletedAndMovesAnchorsBack) {
    Document doc = sample();
    doc.eraseRange(0, 1, 3);  // "b" and pic0
    EXPECT_EQ(doc.inlines[0].edit, EditState::Deleted);
    EXPECT_EQ(doc.inlines[1].edit, EditState::Unchanged);
    EXPECT_EQ((std::vector<int>{1}), doc.inlinesOf(0));
    EXPECT_EQ(doc.main().length(), 8);
    EXPECT_EQ(doc.main().elements[doc.shapes[0].anchor.element].text, "ef");
    EXPECT_EQ(doc.shapes[0].edit, EditState::Unchanged);
}

TEST(DocumentTest, AnchorsAfterALongErasedPartStayOnTheirElement) {
    Document doc = sample();
    doc.eraseRange(0, 2, 6);  // pic0, "cd" and the first paragraph mark
    ASSERT_EQ(doc.main().elements.size(), 4u);
    EXPECT_EQ(doc.shapes[0].anchor.element, 1);
    EXPECT_EQ(doc.main().elements[1].text, "ef");
}

TEST(DocumentTest, EraseEverythingKeepsTheLastMarkAndDropsAnchoredShapes) {
    Document doc = sample();
    doc.eraseRange(0, 0, doc.main().length());
    ASSERT_EQ(doc.main().elements.size(), 1u);
    EXPECT_EQ(doc.main().elements[0].kind, ElementKind::ParagraphMark);
    EXPECT_EQ(doc.shapes[0].edit, EditState::Deleted);
    EXPECT_TRUE(doc.inlinesOf(0).empty());
    EXPECT_TRUE(doc.topLevelShapes().empty());
    EXPECT_TRUE(doc.modified());
}

TEST(DocumentTest, AShapeRightBeforeAReplacedObjectStays) {
    // A text box written just before pic1: the new picture is pasted in
    // front of the old one, which is then erased; the text box stays, before
    // what followed the old picture.
    Document doc = sample();
    doc.shapes[0].anchor = {0, 5};
    const std::int64_t at = doc.main().positionOf(5);
    doc.insertInline(0, at, InlineObject{});
    EXPECT_EQ(doc.shapes[0].anchor.element, 6);
    doc.eraseRange(0, at + 1, at + 2);
    EXPECT_EQ(doc.inlines[1].edit, EditState::Deleted);
    EXPECT_EQ(doc.shapes[0].edit, EditState::Unchanged);
    EXPECT_EQ(doc.main().elements[static_cast<std::size_t>(doc.shapes[0].anchor.element)].kind,
              ElementKind::ParagraphMark);

    // Within a paragraph, a shape after the start of the erased part goes.
    Document inside = sample();
    inside.shapes[0].anchor = {0, 5};
    inside.eraseRange(0, 7, 9);  // "f" and pic1
    EXPECT_EQ(inside.shapes[0].edit, EditState::Deleted);
}

TEST(DocumentTest, ErasingAWholeParagraphTakesTheShapesAnchoredAtItsStart) {
    Document doc = sample();
    // The paragraph's text without its mark: the shape stays.
    doc.eraseRange(0, 6, 9);  // "ef" and pic1
    EXPECT_EQ(doc.shapes[0].edit, EditState::Unchanged);
    Document two = sample();
    two.main().elements.push_back(Element::textRun("gh", 2));
    two.main().elements.push_back(Element::paragraphMark());
    two.eraseRange(0, 6, 10);  // the paragraph "ef" [pic1] with its mark
    EXPECT_EQ(two.shapes[0].edit, EditState::Deleted);
    EXPECT_EQ(two.main().plainText(), "ab\xEF\xBF\xBC" "cd\ngh\n");
}

TEST(DocumentTest, EraseOfAnEmptyOrReversedRangeChangesNothing) {
    Document doc = sample();
    doc.eraseRange(0, 3, 3);
    doc.eraseRange(0, 5, 2);
    EXPECT_EQ(doc.main().length(), 10);
    EXPECT_FALSE(doc.modified());
}

TEST(DocumentTest, DeletingAGroupTakesItsMembersAndTextBoxObjects) {
    Document doc;
    doc.main().elements.push_back(Element::paragraphMark());
    Story box;
    box.kind = StoryKind::TextBox;
    box.owner = 2;
    doc.inlines.resize(1);
    box.elements.push_back(Element::inlineObject(0));
    box.elements.push_back(Element::paragraphMark());
    doc.stories.push_back(box);
    FloatingShape group;
    group.type = shape_type::kGroup;
    group.children = {1, 2};
    FloatingShape picture;
    picture.parent = 0;
    FloatingShape textBox;
    textBox.type = shape_type::kTextBox;
    textBox.parent = 0;
    textBox.textStory = 1;
    doc.shapes = {group, picture, textBox};
    EXPECT_EQ((std::vector<int>{0}), doc.topLevelShapes());
    doc.deleteShape(0);
    for (const auto& shape : doc.shapes) EXPECT_EQ(shape.edit, EditState::Deleted);
    EXPECT_EQ(doc.inlines[0].edit, EditState::Deleted);
    EXPECT_EQ(doc.shapes[0].children.size(), 2u);  // kept for the writer
}

TEST(DocumentTest, DeletingAMemberLeavesTheGroup) {
    Document doc;
    FloatingShape group;
    group.type = shape_type::kGroup;
    group.children = {1, 2};
    FloatingShape member;
    member.parent = 0;
    doc.shapes = {group, member, member};
    doc.deleteShape(2);
    EXPECT_EQ((std::vector<int>{1}), doc.shapes[0].children);
    EXPECT_EQ(doc.shapes[0].edit, EditState::Unchanged);
}

TEST(DocumentTest, AddedShapesGoLastAndInFront) {
    Document doc = sample();
    doc.shapes[0].stackPosition = 5;
    const int index = doc.addShape(FloatingShape{});
    EXPECT_EQ(index, 1);
    EXPECT_EQ(doc.shapes[1].stackPosition, 6);
    EXPECT_EQ(doc.shapes[1].edit, EditState::Added);
    EXPECT_EQ((std::vector<int>{0, 1}), doc.topLevelShapes());
}

// The indexed lookups answer as the walks over the story do, also after each
// edit made through the document and in a copy edited on its own.
void expectLookupsAsTheStoryWalks(const Document& doc, const char* when) {
    for (int s = 0; s < static_cast<int>(doc.stories.size()); ++s) {
        const auto& story = doc.stories[static_cast<std::size_t>(s)];
        const auto live = doc.inlinesOf(s);
        ASSERT_EQ(doc.inlineCount(s), live.size()) << when;
        for (std::size_t k = 0; k < live.size(); ++k) EXPECT_EQ(doc.inlineAt(s, k), live[k]) << when;
        EXPECT_EQ(doc.inlineAt(s, live.size()), -1) << when;
        for (std::size_t e = 0; e <= story.elements.size() + 1; ++e) {
            EXPECT_EQ(doc.positionOf(s, e), story.positionOf(e)) << when << ", element " << e;
        }
        for (std::int64_t at = -1; at <= story.length() + 1; ++at) {
            EXPECT_EQ(doc.elementAt(s, at), story.elementAt(at)) << when << ", position " << at;
        }
        for (std::size_t e = 0; e < story.elements.size(); ++e) {
            const auto& element = story.elements[e];
            if (element.kind != ElementKind::Inline) continue;
            EXPECT_EQ(doc.locateInline(element.object), (std::pair<int, int>{s, static_cast<int>(e)})) << when;
        }
    }
    EXPECT_EQ(doc.locateInline(static_cast<int>(doc.inlines.size())), (std::pair<int, int>{-1, -1})) << when;
}

TEST(DocumentTest, IndexedLookupsFollowEveryEdit) {
    Document doc = sample();
    // Empty elements (a zero-width run) sit between the others.
    doc.main().elements.insert(doc.main().elements.begin() + 3, Element::textRun("", 0));
    doc.changed();
    expectLookupsAsTheStoryWalks(doc, "as read");
    doc.insertInline(0, 1, InlineObject{});
    expectLookupsAsTheStoryWalks(doc, "after an insertion");
    const Document copy = doc;
    doc.eraseRange(0, 0, 4);
    expectLookupsAsTheStoryWalks(doc, "after an erasure");
    expectLookupsAsTheStoryWalks(copy, "the copy taken before the erasure");
    EXPECT_EQ(copy.inlineCount(0), 3u);
    EXPECT_LT(doc.inlineCount(0), 3u);
    doc.insertInline(0, doc.main().length() - 1, InlineObject{});
    expectLookupsAsTheStoryWalks(doc, "after an insertion at the end");
}

TEST(DocumentTest, PageEstimateCountsBreaksBeforeThePosition) {
    Document doc;
    auto& story = doc.main();
    story.elements.push_back(Element::textRun("a", 1));               // 0
    story.elements.push_back(Element::pageBreak());                   // 1
    story.elements.push_back(Element::textRun("b", 1));               // 2
    story.elements.push_back(Element::paragraphMark());               // 3
    story.elements.push_back(Element::sectionBreak(SectionBreakKind::Continuous));  // 4
    story.elements.push_back(Element::textRun("c", 1));               // 5
    story.elements.push_back(Element::sectionBreak(SectionBreakKind::OddPage));     // 6
    ParagraphProperties breakBefore;
    breakBefore.pageBreakBefore = true;
    story.elements.push_back(Element::textRun("d", 1));               // 7
    story.elements.push_back(Element::paragraphMark(breakBefore));    // 8
    EXPECT_EQ(doc.estimatePage(0, 0), 1);
    EXPECT_EQ(doc.estimatePage(0, 1), 1);  // the break itself
    EXPECT_EQ(doc.estimatePage(0, 2), 2);
    EXPECT_EQ(doc.estimatePage(0, 5), 2);  // continuous section break
    EXPECT_EQ(doc.estimatePage(0, 6), 2);
    // The odd-page break starts page 3; "d" asks for a page break before, but
    // it already starts that page, so no page is added.
    EXPECT_EQ(doc.estimatePage(0, 7), 3);
    EXPECT_EQ(doc.estimatePage(0, 8), 3);
}

TEST(DocumentTest, PageBreakBeforeOnTheFirstParagraphDoesNotCount) {
    Document doc;
    ParagraphProperties breakBefore;
    breakBefore.pageBreakBefore = true;
    doc.main().elements.push_back(Element::textRun("a", 1));
    doc.main().elements.push_back(Element::paragraphMark(breakBefore));
    EXPECT_EQ(doc.estimatePage(0, 1), 1);
}

TEST(DocumentTest, TextBoxPositionsLieOnTheAnchorsPage) {
    Document doc;
    doc.main().elements.push_back(Element::pageBreak());
    doc.main().elements.push_back(Element::paragraphMark());
    Story box;
    box.kind = StoryKind::TextBox;
    box.owner = 0;
    box.elements.push_back(Element::paragraphMark());
    doc.stories.push_back(box);
    FloatingShape textBox;
    textBox.type = shape_type::kTextBox;
    textBox.textStory = 1;
    textBox.anchor = {0, 1};
    doc.shapes.push_back(textBox);
    EXPECT_EQ(doc.estimatePage(1, 0), 2);
    doc.stories[1].owner = 0;
    doc.shapes[0].anchor = {1, 0};  // a box anchored in its own text: no endless loop
    EXPECT_EQ(doc.estimatePage(1, 0), 1);
}

TEST(DocumentTest, ErasingAllOfAStoryDeletesItsShapesEvenWhenOnlyTheFinalMarkIsLeft) {
    Document doc;
    doc.main().elements.push_back(Element::paragraphMark());
    FloatingShape shape;
    shape.anchor = {0, 0};
    doc.shapes.push_back(shape);
    doc.eraseRange(0, 0, doc.main().length());
    EXPECT_EQ(doc.shapes[0].edit, EditState::Deleted);
    EXPECT_EQ(doc.main().elements.size(), 1u);

    // Erasing only the first paragraph of two keeps the shapes of the second.
    Document two = sample();
    two.eraseRange(0, 0, 6);
    EXPECT_EQ(two.shapes[0].edit, EditState::Unchanged);
    EXPECT_EQ(two.main().plainText(), "ef\xEF\xBF\xBC\n");
}

}  // namespace
}  // namespace kelvaran::formats::model
