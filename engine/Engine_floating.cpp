// Converting one floating shape: copied through the selection, replaced at
// its anchor, with wrapping, rotation, position, stacking order and
// formatting carried over.

#include "engine/Checked.h"
#include "engine/Engine.h"
#include "engine/LayoutAttributes.h"
#include "platform/Conversions.h"
#include "platform/Deadline.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"

namespace kelvaran::engine {

namespace word = office::word;
using office::Variant;
using office::variantToInt32;

namespace {
const std::string kVerbShape = "にｼｪｰﾌﾟ変換 (";

// The format painter's pick-up is a nicety: without it the replacement keeps
// its own formatting.
void PickUpFormat(word::Shape& shape) {
    attempt([&] { shape.PickUp(); });
}

// Sends the shape backward one step at a time until it stands no higher than
// `zOrder`, and stops as soon as a step does not move it further back.
void sinkTo(word::Shape& shape, std::int32_t zOrder) {
    for (;;) {
        const std::int32_t before = shape.ZOrderPosition();
        if (before <= zOrder) return;
        shape.ZOrder(word::constants::msoSendBackward);
        if (shape.ZOrderPosition() >= before) return;
    }
}
}  // namespace

// Measures the converted picture on the clipboard in the scratch document
// and leaves it on the clipboard as a floating picture.
double Engine::measureFloatingResult() {
    auto& app = obj(state_.appWORD);
    auto selection = [&] { return need(app.Selection()); };
    auto& scratch = obj(state_.scratchDoc);
    double newSize = 0;
    try {
        obj(scratch.Range(0)).Paste();
        scratch.SaveAs(state_.scratchPathA);
        if (!state_.fileSystem) throw platform::FileSystemError("no file system");
        newSize = state_.fileSystem->GetFile(scratch.FullName()).Size - state_.emptyDocSize;
        if (state_.wordIs2007) {
            obj(obj(scratch.InlineShapes()).item(1)).ConvertToShape();
            obj(obj(scratch.Shapes()).item(1)).Select();
            SlowModeWait();
            selection()->Cut();
        } else {
            obj(scratch.Range(0)).Delete();
        }
    } catch (...) {
        // The next measurement needs an empty scratch document.
        emptyScratchDocument();
        throw;
    }
    platform::checkDeadline();
    return newSize;
}

// Pastes the picture on the clipboard at the old shape's anchor and returns
// the new shape.
word::ShapePtr Engine::pasteAtAnchor(word::Shape& oldShape) {
    auto& app = obj(state_.appWORD);
    auto selection = [&] { return need(app.Selection()); };
    obj(obj(state_.srcDoc).Windows(1)).Activate();
    obj(oldShape.Anchor()).Select();
    timer_.pauseForOffice(100);
    SlowModeWait();
    selection()->Paste();
    SlowModeWait();

    if (state_.wordIs2007) {
        auto shapes = need(obj(state_.srcDoc).Shapes());
        return shapes->item(shapes->count());
    }
    return obj(selection()->ShapeRange()).item(1);
}

std::int32_t Engine::ConvertFloatingShape(const word::ShapePtr& oldShapePtr, std::vector<std::string>& shapeNames,
                                          double displayWidth, double displayHeight, std::string& objectKind) {
    beginObject();
    failure_.clear();
    const platform::Deadline deadline = objectDeadline();
    auto& oldShape = obj(oldShapePtr);
    auto& app = obj(state_.appWORD);
    auto selection = [&] { return need(app.Selection()); };
    auto activate = [&] { obj(obj(state_.srcDoc).Windows(1)).Activate(); };

    // Measure the old shape.
    activate();
    oldShape.Select();
    selection()->Copy();
    noteOriginal();
    const double oldSize = measureClipboard(state_.scratchPathB, true);
    std::int32_t page = 0;
    auto decided = [&](const char* decision, double newSize, const std::string& format) {
        tell({objectKind, "floating", page, displayWidth, displayHeight, oldSize, newSize, format, decision});
    };
    if (fileSizeThreshold() > oldSize) {
        decided("below_minimum", 0, {});
        shapeNames.push_back(oldShape.Name());
        return 0;
    }

    activate();
    oldShape.Select();
    SlowModeWait();
    const std::int32_t pageNumber =
        variantToInt32(selection()->Information(word::constants::wdActiveEndAdjustedPageNumber));
    page = pageNumber;
    PickUpFormat(oldShape);
    const std::int32_t zOrder = oldShape.ZOrderPosition();

    double rotation = 0;
    bool rotated = false;
    if (state_.wordIsXP) {
        rotation = oldShape.Rotation();
        rotated = platform::roundHalfEven(rotation) != 0;
        if (rotated) oldShape.setRotation(Variant(std::int16_t{0}));
    }
    bool useMetafile = false;

    // The copy for conversion takes the shape unrotated and puts the rotation
    // back at once, also when the copy fails.
    auto copyForConversion = [&] {
        try {
            if (rotated) oldShape.setRotation(Variant(std::int16_t{0}));
            oldShape.Select();
            SlowModeWait();
            selection()->Copy();
        } catch (...) {
            if (rotated) attempt([&] { oldShape.setRotation(Variant(rotation)); });
            throw;
        }
        if (rotated) oldShape.setRotation(Variant(rotation));
    };

    copyForConversion();

    try {
        std::string formatLabel;
        bool fallbackTaken = false;
        bool again = true;
        while (again) {
            again = false;
            conversionPass(objectKind, displayWidth, displayHeight, useMetafile, formatLabel, PassTiming::Floating);
            for (;;) {
                if (fallbackApplies(formatLabel)) {
                    if (fallbackTaken) {
                        // Same result as the first attempt: keep the shape.
                        decided("blackened", 0, formatLabel);
                        shapeNames.push_back(oldShape.Name());
                        return 0;
                    }
                    fallbackTaken = true;
                    useMetafile = true;
                    copyForConversion();
                    again = true;
                    break;
                }
                if (!recompressionApplies(objectKind)) break;
                objectKind = kPicture;
                conversionPass(objectKind, displayWidth, displayHeight, useMetafile, formatLabel,
                               PassTiming::Floating);
            }
        }

        const double newSize = measureFloatingResult();

        if (!accepted(oldSize, newSize)) {
            decided("not_smaller", newSize, formatLabel);
            shapeNames.push_back(oldShape.Name());
            return 0;
        }

        const word::ShapePtr newShapePtr = pasteAtAnchor(oldShape);
        auto& newShape = obj(newShapePtr);

        // Until the old shape is gone, a failure takes the new picture out
        // again: the document keeps the old shape alone rather than both.
        try {
            CopyWrapFormat(oldShapePtr, newShapePtr);
            if (state_.wordIsXP && rotated) newShape.setRotation(Variant(rotation));
            if (state_.wordIs2007) CopyRelativeLayout(oldShapePtr, newShapePtr);
            newShape.setTop(oldShape.Top());
            newShape.setLeft(oldShape.Left());
        } catch (const std::exception& failure) {
            failure_ = failureReason(failure);
            attempt([&] { newShape.Delete(); });
            return -1;
        }
        // A failed deletion leaves both shapes: the old one may be gone all
        // the same, so the new picture stays.
        oldShape.Delete();

        // The replacement is done.  Stacking order and formatting are
        // finishing touches: a failure there is skipped, and the replacement
        // is still recorded, logged and counted.
        attempt([&] { sinkTo(newShape, zOrder); });
        attempt([&] { newShape.Apply(); });
        attempt([&] { shapeNames.push_back(newShape.Name()); });
        decided("replaced", newSize, formatLabel);
        writeLogLine(pageNumber, objectKind, displayWidth, displayHeight, formatLabel, kVerbShape, oldSize, newSize);
        state_.docConverted = true;
        return 0;
    } catch (const std::exception& failure) {
        failure_ = failureReason(failure);
        return -1;
    }
}

}  // namespace kelvaran::engine
