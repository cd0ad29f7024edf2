#pragma once

// What the reader finds in a Word 97-2003 document: pictures, objects, shapes and
// page breaks, each with the place in the file it came from so the writer can
// patch exactly those bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/doc/Blip.h"

namespace kelvaran::formats::doc {

enum class StoryKind { Main, Footnote, Header, Comment, Endnote, Textbox, HeaderTextbox, Other };

// What a paragraph's own properties say about its layout, in twips.
struct ParagraphLayout {
    int spaceBeforeTwips = 0;
    int spaceAfterTwips = 0;
    int lineTwips = 240;   // with `multipleLines`: 240 is single spacing
    bool multipleLines = true;
    int leftTwips = 0;
    int rightTwips = 0;
    bool inTable = false;
    bool rowEnd = false;   // the mark ends a table row
    bool pageBreakBefore = false;  // also when its style asks for it
};

// A paragraph positioned by frame properties.
struct FrameInfo {
    std::int16_t xTwips = 0, yTwips = 0;
    std::int16_t widthTwips = 0;
    std::uint16_t heightTwips = 0;  // high bit set: at least this height, else exactly; 0 automatic
    std::uint8_t wrap = 0;
    std::uint8_t anchoring = 0;     // sprmPPc
};

// A picture character (U+0001) with its picture block in the Data stream.
struct InlinePicture {
    std::uint32_t cp = 0;
    StoryKind story = StoryKind::Main;
    std::uint32_t dataOffset = 0;  // of the picture block in the Data stream
    std::uint32_t blockLength = 0; // PICF lcb
    std::uint16_t mappingMode = 0; // 0x64 drawing records follow, 0x66 with a file name
    std::int16_t dxaGoal = 0, dyaGoal = 0;
    std::uint16_t mx = 1000, my = 1000;
    std::int16_t cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;
    std::array<std::uint32_t, 4> borders{}; // top, left, bottom, right (Brc80; 0xFFFFFFFF none)
    // Crop given by the picture's drawing properties (fractions: left, top,
    // right, bottom), which some writers use instead of the header's.
    std::array<double, 4> shapeCrop{};
    std::int32_t widthTwips = 0, heightTwips = 0; // displayed size
    std::string name;               // shape name, if any
    bool oleShape = false;          // the cached look of an object
    bool linked = false;            // picture kept outside the document
    bool blipReferenced = false;    // its shape names a picture (pib), or a picture record follows
    bool horizontalRule = false;    // a horizontal line drawn by Word, not a picture
    bool bullet = false;            // the picture of a picture bullet, kept at the end of the text
    std::optional<PictureData> picture;
    int objectIndex = -1;           // into DocInventory::objects when this is an object's result
    std::uint32_t textboxShapeId = 0; // shape of the text box holding this picture, 0 if none
    std::optional<FrameInfo> frame;

    // What a reader shows as a picture in the text: a picture with its data,
    // a linked one, or one whose data is damaged.  Horizontal lines, picture
    // bullets and drawings without a picture (WordArt, the stand-in of a
    // drawing held in a SHAPE field) are not.
    bool shownAsPicture() const
    {
        const bool drawingRecords = mappingMode == 0x64 || mappingMode == 0x66;
        return !horizontalRule && !bullet && (!drawingRecords || picture || linked || blipReferenced);
    }
};

// A floating drawing shape with its anchor.
struct FloatingShape {
    std::uint32_t shapeId = 0;
    std::uint32_t cp = 0;          // of the anchor character (top-level shapes only)
    bool header = false;           // anchored in the header story
    int parent = -1;               // index of the group holding this shape
    bool isGroup = false;
    std::uint16_t shapeType = 0;   // 75 picture frame, 202 text box, ...
    std::uint32_t flags = 0;       // FSP flags
    // Top-level shapes: the anchor rectangle in twips; children: the child anchor in
    // the group's coordinates.
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::uint8_t wrap = 0, wrapSide = 0, horizontalFrom = 0, verticalFrom = 0;
    bool belowText = false;
    double rotationDegrees = 0.0;
    std::string name, description;
    std::optional<std::uint32_t> posH, posRelH, posV, posRelV;
    std::optional<std::uint32_t> pctWidth, pctHeight, sizeRelH, sizeRelV;
    std::array<std::int32_t, 4> wrapDistanceEmu{114300, 0, 114300, 0}; // left, top, right, bottom
    int zOrder = 0;                // drawing order in the story (0 first = lowest)
    std::uint32_t blipIndex = 0;   // 1-based BStore slot, 0 none
    bool linked = false;           // the picture is kept outside the document
    std::optional<PictureData> picture;
    // Where the picture's BLIP record lies: in the table stream (inside the
    // picture store) or in the WordDocument stream (delayed); length 0 none.
    bool blipInTable = false;
    std::size_t blipOffset = 0, blipLength = 0;
    // Groups: the coordinate space their members' child anchors use.
    std::optional<std::array<std::int32_t, 4>> groupBounds;
    std::uint32_t textboxId = 0;   // lTxid, 0 none
    std::int32_t textboxStart = -1, textboxEnd = -1; // CPs of its story range
    // Objects: the text-box story holding the object's field (index << 16),
    // and that object (into DocInventory::objects, -1 when none is found).
    std::uint32_t pictureId = 0;
    int objectIndex = -1;
    // Where the FSP flags and the pictureId value lie in the table stream
    // (0: no such value).
    std::size_t flagsOffset = 0, pictureIdOffset = 0;
    bool oleShape() const { return (flags & 0x10) != 0; }
    bool flipH() const { return (flags & 0x40) != 0; }
    bool flipV() const { return (flags & 0x80) != 0; }
};

// The picture of an object of the older kind, kept in the object's own
// storage (a Windows metafile in \003META, sized, scaled and cropped by
// \003PIC) and shown by a picture character of the field result that names
// the storage instead of a block of the Data stream.
struct StoragePicture {
    std::uint32_t cp = 0;                    // of the picture character
    PictureData picture;                     // the metafile, without placeable header
    std::int32_t naturalWidth = 0, naturalHeight = 0;  // twips
    std::int32_t cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;  // twips
    std::int32_t scaleX = 1000, scaleY = 1000;         // per mille
    std::int32_t widthTwips() const;         // displayed size
    std::int32_t heightTwips() const;
};

// An embedded or linked object (EMBED or LINK field).
struct EmbeddedObject {
    std::uint32_t fieldBegin = 0, separator = 0, fieldEnd = 0; // CPs
    std::uint32_t storageId = 0;      // ObjectPool/_<id>
    bool hasStorage = false;
    bool linked = false;
    std::string instruction;          // field code text, trimmed
    std::string progId;               // from \001CompObj, else from the instruction
    std::string userType;             // e.g. "Microsoft Excel Worksheet"
    bool iconic = false;
    int resultPicture = -1;           // index into DocInventory::pictures
    std::optional<StoragePicture> storagePicture;  // when its picture is in its storage
};

enum class PageBreakKind { Character, ParagraphBefore, Section };

struct PageBreak {
    std::uint32_t cp = 0;
    PageBreakKind kind = PageBreakKind::Character;
};

struct DocInventory {
    std::vector<InlinePicture> pictures;
    std::vector<FloatingShape> shapes;
    std::vector<EmbeddedObject> objects;
    std::vector<PageBreak> pageBreaks;  // main story, in CP order
    std::vector<std::string> warnings;  // parts skipped as damaged
};

}  // namespace kelvaran::formats::doc
