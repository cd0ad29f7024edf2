// Converting one inline shape: in the body text, in a layout frame, or in the
// text of a text box.

#include "engine/Checked.h"
#include "engine/Engine.h"
#include "engine/LayoutAttributes.h"
#include "platform/Conversions.h"

namespace kelvaran::engine {

namespace word = office::word;
using office::variantToInt32;

namespace {
const std::string kVerbInline = "にｲﾝﾗｲﾝ変換 (";
const std::string kVerbLayoutFrame = "にﾚｲｱｳﾄ枠内変換 (";
const std::string kVerbTextFrame = "にﾃｷｽﾄ枠内変換 (";
}  // namespace

std::int32_t Engine::ConvertInlineShape(const word::InlineShapePtr& oldShapePtr, std::int32_t index,
                                        bool inTextFrame, std::string& objectKind) {
    beginObject();
    const platform::Deadline deadline = objectDeadline();
    auto& oldShape = obj(oldShapePtr);
    const std::int32_t pageNumber =
        variantToInt32(obj(oldShape.Range()).Information(word::constants::wdActiveEndAdjustedPageNumber));
    const double displayWidth = oldShape.Width();
    const double displayHeight = oldShape.Height();
    bool useMetafile = false;
    bool fallbackTaken = false;
    std::string formatLabel;
    double oldSize = 0;
    auto decided = [&](const char* decision, double newSize, const std::string& placement) {
        tell({objectKind, placement, pageNumber, displayWidth, displayHeight, oldSize, newSize, formatLabel, decision});
    };
    const std::string placement = inTextFrame ? "text_frame" : "inline";

    for (;;) {
        obj(oldShape.Range()).Copy();
        noteOriginal();
        oldSize = measureClipboard(state_.scratchPathB, true);
        if (fileSizeThreshold() > oldSize) {
            decided("below_minimum", 0, placement);
            return 1;
        }

        conversionPass(objectKind, displayWidth, displayHeight, useMetafile, formatLabel, PassTiming::Inline);
        bool again = false;
        for (;;) {
            if (fallbackApplies(formatLabel)) {
                // An object whose own format is JPEG would come out the same
                // way every time: one retry, then it stays as it is.
                if (fallbackTaken) {
                    decided("blackened", 0, placement);
                    return 1;
                }
                fallbackTaken = true;
                useMetafile = true;
                again = true;
                break;
            }
            if (!recompressionApplies(objectKind)) break;
            objectKind = kPicture;
            conversionPass(objectKind, displayWidth, displayHeight, useMetafile, formatLabel, PassTiming::Inline);
        }
        if (!again) break;
    }

    const double newSize = measureClipboard(state_.scratchPathA, false);
    if (!accepted(oldSize, newSize)) {
        decided("not_smaller", newSize, placement);
        return 1;
    }

    // The replacement: from here on a failing step is skipped and the next runs.
    auto& app = obj(state_.appWORD);
    auto selection = [&] { return need(app.Selection()); };
    auto activate = [&] { obj(obj(state_.srcDoc).Windows(1)).Activate(); };

    attempt(activate);
    attempt([&] { obj(oldShape.Range()).Select(); });
    SlowModeWait();
    attempt([&] { selection()->Collapse(); });
    attempt([&] { selection()->Paste(); });
    SlowModeWait();

    word::InlineShapePtr newShape;
    if (!inTextFrame && !storyRange_) {
        attempt([&] {
            if (state_.wordIs2007) {
                newShape = obj(obj(state_.srcDoc).InlineShapes()).item(index);
            } else {
                newShape = obj(obj(selection()->ShapeRange()).item(1)).ConvertToInlineShape();
            }
        });
        bool inFrame = true;
        attempt([&] { inFrame = obj(obj(oldShape.Range()).Frames()).count() > 0; });
        CopyBorders(oldShapePtr, newShape);
        attempt([&] { obj(newShape).setLockAspectRatio(oldShape.LockAspectRatio()); });

        attempt(activate);
        attempt([&] { obj(newShape).Select(); });
        SlowModeWait();
        attempt([&] {
            if (state_.wordIsXP) {
                selection()->Cut();
            } else {
                selection()->Copy();
            }
        });
        attempt([&] { oldShape.Select(); });
        SlowModeWait();
        attempt([&] { selection()->Paste(); });
        SlowModeWait();

        if (!state_.wordIs2007) {
            if (state_.wordIsXP) {
                attempt([&] { obj(obj(obj(state_.srcDoc).InlineShapes()).item(index)).Delete(); });
            } else {
                attempt([&] { obj(newShape).Delete(); });
            }
        }
        decided("replaced", newSize, inFrame ? "layout_frame" : "inline");
        attempt([&] {
            writeLogLine(pageNumber, objectKind, displayWidth, displayHeight, formatLabel,
                         inFrame ? kVerbLayoutFrame : kVerbInline, oldSize, newSize);
        });
    } else {
        // The new picture went in just before the old one, so it has the
        // old one's index in its text.
        attempt([&] {
            word::RangePtr text = storyRange_;
            if (!text) {
                auto textBox = obj(selection()->ShapeRange()).item(1);
                text = obj(obj(textBox).TextFrame()).TextRange();
            }
            newShape = obj(obj(text).InlineShapes()).item(index);
        });
        CopyBorders(oldShapePtr, newShape);
        attempt([&] { obj(newShape).setLockAspectRatio(oldShape.LockAspectRatio()); });
        bool isPicture = true;
        attempt([&] { isPicture = obj(newShape).Type() == word::constants::wdInlineShapePicture; });
        if (isPicture) {
            attempt([&] { obj(newShape).setHeight(displayHeight); });
            attempt([&] { obj(newShape).setWidth(displayWidth); });
        }
        attempt([&] { obj(oldShape.Range()).Delete(); });
        decided("replaced", newSize, placement);
        attempt([&] {
            writeLogLine(pageNumber, objectKind, displayWidth, displayHeight, formatLabel,
                         inTextFrame ? kVerbTextFrame : kVerbInline, oldSize, newSize);
        });
    }

    state_.docConverted = true;
    return 0;
}

}  // namespace kelvaran::engine
