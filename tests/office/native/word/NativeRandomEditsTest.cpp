// Long random sequences of object-model calls: every call either works or
// fails with OfficeError, and the document stays consistent enough to save.

#include "office/OfficeError.h"
#include "office/native/word/NativeDocument.h"
#include "office/native/word/NativeDocuments.h"
#include "office/native/word/NativeWordApplication.h"
#include "platform/Clipboard.h"
#include "tests/office/native/NativeTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <unistd.h>

namespace kelvaran::office::native {
namespace {

namespace model = formats::model;

// Every live inline element names a live object and every live shape's
// anchor and group links point at live entries.
void expectConsistent(const model::Document& doc) {
    for (std::size_t s = 0; s < doc.stories.size(); ++s) {
        const int owner = doc.stories[s].owner;
        // The text of a deleted text box goes with it as a whole.
        if (owner >= 0 && doc.shapes.at(static_cast<std::size_t>(owner)).edit == model::EditState::Deleted) continue;
        for (const auto& element : doc.stories[s].elements) {
            if (element.kind != model::ElementKind::Inline) continue;
            ASSERT_GE(element.object, 0);
            ASSERT_LT(element.object, static_cast<int>(doc.inlines.size()));
            EXPECT_NE(doc.inlines[static_cast<std::size_t>(element.object)].edit, model::EditState::Deleted)
                << "a deleted object is still in story " << s;
        }
    }
    for (std::size_t i = 0; i < doc.shapes.size(); ++i) {
        const auto& shape = doc.shapes[i];
        if (shape.edit == model::EditState::Deleted) continue;
        ASSERT_GE(shape.anchor.story, 0);
        ASSERT_LT(shape.anchor.story, static_cast<int>(doc.stories.size()));
        EXPECT_LE(shape.anchor.element, static_cast<int>(doc.stories[static_cast<std::size_t>(shape.anchor.story)].elements.size()));
        for (int child : shape.children) {
            ASSERT_GE(child, 0);
            ASSERT_LT(child, static_cast<int>(doc.shapes.size()));
            EXPECT_EQ(doc.shapes[static_cast<std::size_t>(child)].parent, static_cast<int>(i));
        }
        if (shape.parent >= 0) {
            const auto& group = doc.shapes[static_cast<std::size_t>(shape.parent)];
            EXPECT_NE(group.edit, model::EditState::Deleted) << shape.name << " belongs to a deleted group";
        }
    }
}

TEST(NativeRandomEditsTest, RandomCallsFailCleanlyAndKeepTheModelConsistent) {
    const auto dir = std::filesystem::temp_directory_path() / ("kelvaran-native-random-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    platform::Clipboard clipboard;
    NativeWordApplication word{clipboard, {test::fakeRtf()}};
    auto documents = std::static_pointer_cast<NativeDocuments>(word.Documents());
    auto first = documents->adopt(test::documentWithShapes(), (dir / "one.rtf").string());
    auto second = documents->adopt(test::documentWithInlinePicture(50, 40, true), (dir / "two.rtf").string());
    std::vector<word::DocumentPtr> open{first, second, word.Documents()->add()};

    std::mt19937 random(1234);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(std::max(1, n))); };
    int failures = 0;
    int lastOp = -1;
    for (int step = 0; step < 3000; ++step) {
        auto& document = open[static_cast<std::size_t>(pick(static_cast<int>(open.size())))];
        try {
            auto shapes = document->Shapes();
            auto inlines = document->InlineShapes();
            const int shapeCount = shapes->count();
            const int inlineCount = inlines->count();
            auto anyShape = [&] { return shapes->item(1 + pick(shapeCount + 1)); };
            auto anyInline = [&] { return inlines->item(1 + pick(inlineCount + 1)); };
            lastOp = pick(22);
            switch (lastOp) {
                case 0: anyInline()->Range()->Copy(); break;
                case 1: document->Range(static_cast<std::int16_t>(pick(12)))->Paste(); break;
                case 2: document->Range(static_cast<std::int16_t>(pick(12)))->Delete(); break;
                case 3: anyInline()->Select(); break;
                case 4: anyShape()->Select(pick(2) == 0); break;
                case 5: word.Selection()->Collapse(); break;
                case 6: word.Selection()->Copy(); break;
                case 7: word.Selection()->Cut(); break;
                case 8: word.Selection()->Paste(); break;
                case 9: anyInline()->ConvertToShape(); break;
                case 10: anyShape()->ConvertToInlineShape(); break;
                case 11: word.Selection()->ShapeRange()->Group(); break;
                case 12: anyShape()->Ungroup(); break;
                case 13: anyShape()->Delete(); break;
                case 14: shapes->AddShape(pick(2) == 0 ? 1 : 9, pick(100), pick(100), 1 + pick(50), 1 + pick(50)); break;
                case 15: anyShape()->setWidth(pick(3000) - 100); break;
                case 16: anyShape()->ZOrder(pick(4)); break;
                case 17: anyShape()->Anchor()->Select(); break;
                case 18: anyShape()->TextFrame()->TextRange()->InlineShapes()->item(1)->Range()->Select(); break;
                case 19: anyInline()->Borders()->item(static_cast<std::int16_t>(-1 - pick(8)))->setLineStyle(Variant(pick(30))); break;
                case 20: word.Selection()->Information(1); break;
                case 21: anyShape()->WrapFormat()->setType(Variant(pick(9) - 1)); break;
            }
        } catch (const OfficeError&) {
            ++failures;
        }
        for (const auto& each : open) {
            expectConsistent(std::static_pointer_cast<NativeDocument>(each)->state()->model);
        }
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "after step " << step << ", call " << lastOp;
            break;
        }
    }
    EXPECT_GT(failures, 0);  // the sequence did reach the refusals
    for (std::size_t i = 0; i < open.size(); ++i) {
        EXPECT_NO_THROW(open[i]->SaveAs((dir / ("saved" + std::to_string(i) + ".rtf")).string()));
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kelvaran::office::native
