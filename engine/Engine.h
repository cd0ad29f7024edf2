#pragma once

#include "engine/Conditions.h"
#include "engine/ExceptionRules.h"
#include "engine/MeasurementHelpers.h"
#include "engine/ObjectObserver.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "engine/Walker.h"
#include "office/Word.h"
#include "platform/Clipboard.h"
#include "platform/Deadline.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::platform {
class Clipboard;
class EventPump;
class Timer;
}  // namespace kelvaran::platform

namespace kelvaran::engine {

// The conversion engine: walks a document's pictures and embedded objects and
// replaces each one that is worth it by a compressed picture made on the
// scratch sheet, keeping its layout.
//
// Everything it touches is borrowed: the run state (office objects, scratch
// paths, office mode, stop flag), the live conditions, the exception list, the
// log and status line, the run's clipboard, the event pump and the timer.  All
// of them must outlive the engine.  Single-threaded: call it on the thread
// that pumps the events.
class Engine : public Walker {
public:
    Engine(RunState& state, Conditions& conditions, ExceptionRules& rules, RunDisplay& display,
           platform::Clipboard& clipboard, platform::EventPump& events, platform::Timer& timer);

    // Walks the whole document (no group, isTop = true) or one group that is
    // taken apart and rebuilt (returns the rebuilt group's name).  Never throws.
    std::string WalkDocument(const office::word::ShapePtr& group, bool isTop) override;

    // 0 when the type of srcDoc's inline shape `index` can be read, -1 otherwise.
    virtual std::int32_t ProbeInlineShape(std::int32_t index);

    // Converts one inline shape of the body (inTextFrame false) or of a text
    // box's text (true).  0 replaced, 1 left as it was.  Failures before the
    // replacement is decided travel to the caller as exceptions.  May set
    // objectKind to "Picture" (recompression).
    virtual std::int32_t ConvertInlineShape(const office::word::InlineShapePtr& oldShape, std::int32_t index,
                                            bool inTextFrame, std::string& objectKind);

    // Converts one floating shape.  0 after appending to shapeNames the name of
    // the shape that now stands in its place (the old shape's when it was
    // kept; nothing when a new picture's name cannot be read); -1 when it gave
    // up after the conversion had begun (nothing appended, the old shape is
    // still there unless its deletion failed).  Failures up to the first copy
    // for conversion travel to the caller, with the old shape's rotation put
    // back.  May set objectKind to "Picture".
    virtual std::int32_t ConvertFloatingShape(const office::word::ShapePtr& oldShape,
                                              std::vector<std::string>& shapeNames, double displayWidth,
                                              double displayHeight, std::string& objectKind);

    // Told what became of every object the walk looks at; may be null.
    void setObserver(ObjectObserver* observer) { observer_ = observer; }

    // The measurement helpers, as the conversions use them.
    void LoadReferencePicture() { helpers_.LoadReferencePicture(); }
    bool IsPictureBlackened(double ratio) { return helpers_.IsPictureBlackened(ratio); }
    void SlowModeWait() { helpers_.SlowModeWait(); }
    const MeasurementHelpers& helpers() const { return helpers_; }

    // The texts of the image-format table.
    static const std::string kPicture;  // "Picture", the kind of every plain picture
    // The PasteSpecial format text of a format name; empty for an unknown name.
    static std::string pasteFormatFor(const std::string& formatName);

private:
    enum class PassTiming { Inline, Floating };

    // Windows
    void keepWordMinimised();
    void keepExcelMinimised();
    void keepMinimisedTolerant();

    // Walk pieces
    std::string walk(const office::word::ShapePtr& group, bool isTop);
    // The inline shapes of the body (story null) or of a header or footer.
    bool walkInlineShapes(const office::word::RangePtr& story);
    // Under Headers: the inline pictures and objects of every header and
    // footer story the office can edit.
    void walkHeadersFooters();
    void walkFloatingShape(const office::word::ShapePtr& shape, std::vector<std::string>& shapeNames);
    bool conversionRuleSaysConvert(bool isPicture, bool isObject, const std::string& objectKind);
    std::string objectKindFromProgId(const std::string& progId);
    void registerKind(const std::string& objectKind);
    bool prepareGroupMembers(const office::word::ShapePtr& group, office::word::ShapeRangePtr& members,
                                    office::word::ShapePtr& placeholderGroup);
    std::string rebuildGroup(const std::vector<std::string>& shapeNames,
                             const office::word::ShapePtr& placeholderGroup);
    void walkTextBox(const office::word::ShapePtr& textBox);
    void tellInline(const office::word::InlineShapePtr& shape, const std::string& kind, const std::string& placement,
                    const char* decision, const std::string& reason);
    bool pumpAndCheckStop();

    // Conversion pieces
    // The time one object may take, from the start of its conversion to the
    // decision to replace it (deliberate pauses left out).
    static platform::Deadline objectDeadline();
    double measureClipboard(const std::string& path, bool loadReference);
    void emptyScratchDocument();
    double fileSizeThreshold();
    void conversionPass(const std::string& objectKind, double displayWidth, double displayHeight, bool useMetafile,
                        std::string& formatLabel, PassTiming timing);
    void emptyScratchSheet();
    // Under NoEnlarge: shrinks the size a picture is drawn at on the sheet
    // until it has no more pixels, either way, than the source shows.
    void keepWithinSourcePixels(double& widthPt, double& heightPt);
    std::string mainFormatName(bool useMetafile);
    bool fallbackApplies(const std::string& formatLabel);
    bool recompressionApplies(const std::string& objectKind);
    bool accepted(double oldSize, double newSize);
    double measureFloatingResult();
    office::word::ShapePtr pasteAtAnchor(office::word::Shape& oldShape);
    void writeLogLine(std::int32_t pageNumber, const std::string& objectKind, double displayWidth,
                      double displayHeight, const std::string& formatLabel, const std::string& verb, double oldSize,
                      double newSize);

    // Passes a decision on; an observer's failure never reaches the walk.
    void tell(ObjectDecision decision);

    RunState& state_;
    Conditions& conditions_;
    ExceptionRules& rules_;
    RunDisplay& display_;
    platform::Clipboard& clipboard_;
    platform::EventPump& events_;
    platform::Timer& timer_;
    MeasurementHelpers helpers_;
    ObjectObserver* observer_ = nullptr;
    // The passes run for the object being converted, for the observer.
    std::vector<std::string> passesTried_;
    std::vector<double> passBytes_;
    // The object as it was copied for measuring, when the office described it.
    std::optional<platform::ContentSummary> original_;
    // The last conversion pass's picture.
    std::optional<platform::ContentSummary> candidate_;
    // The class name of the embedded object being looked at; empty for a picture.
    std::string progId_;
    // While a header or footer is walked: its range, and "header" or
    // "footer" for the observer.  Null and empty for the body.
    office::word::RangePtr storyRange_;
    std::string story_;
    // Why the floating conversion gave up, when it says -1.
    std::string failure_;
    // Starts the observer's record of a new object.
    void beginObject();
    // Notes what the office says of the original on the clipboard.
    void noteOriginal();
    void announceObjects(std::int32_t inlineCount);
};

}  // namespace kelvaran::engine
