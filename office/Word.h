#pragma once

// The members of the Word object model that the program calls, as abstract C++
// interfaces.  Names follow the object model; a property is a getter of its
// name and a setter "set" + name.  Enumeration values travel as plain numbers
// with Word's meanings.  Every member may throw OfficeError.

#include "office/Variant.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvaran::office::word {

class Application;
class Documents;
class Document;
class Window;
class Range;
class Frames;
class Selection;
class InlineShapes;
class InlineShape;
class Shapes;
class ShapeRange;
class Shape;
class TextFrame;
class OLEFormat;
class WrapFormat;
class Borders;
class Border;

using ApplicationPtr = std::shared_ptr<Application>;
using DocumentsPtr = std::shared_ptr<Documents>;
using DocumentPtr = std::shared_ptr<Document>;
using WindowPtr = std::shared_ptr<Window>;
using RangePtr = std::shared_ptr<Range>;
using FramesPtr = std::shared_ptr<Frames>;
using SelectionPtr = std::shared_ptr<Selection>;
using InlineShapesPtr = std::shared_ptr<InlineShapes>;
using InlineShapePtr = std::shared_ptr<InlineShape>;
using ShapesPtr = std::shared_ptr<Shapes>;
using ShapeRangePtr = std::shared_ptr<ShapeRange>;
using ShapePtr = std::shared_ptr<Shape>;
using TextFramePtr = std::shared_ptr<TextFrame>;
using OLEFormatPtr = std::shared_ptr<OLEFormat>;
using WrapFormatPtr = std::shared_ptr<WrapFormat>;
using BordersPtr = std::shared_ptr<Borders>;
using BorderPtr = std::shared_ptr<Border>;

// Values of the published object model that the program uses.
namespace constants {
constexpr std::int32_t wdWindowStateMinimize = 2;
constexpr std::int32_t wdActiveEndAdjustedPageNumber = 1;  // Information(1)
constexpr std::int32_t wdInlineShapeEmbeddedOLEObject = 1;
constexpr std::int32_t wdInlineShapeLinkedOLEObject = 2;
constexpr std::int32_t wdInlineShapePicture = 3;
constexpr std::int32_t wdInlineShapeLinkedPicture = 4;
constexpr std::int32_t msoGroup = 6;
constexpr std::int32_t msoMedia = 16;
constexpr std::int32_t msoTextBox = 17;
constexpr std::int32_t msoPicture = 13;
constexpr std::int32_t msoEmbeddedOLEObject = 7;
constexpr std::int32_t msoLinkedPicture = 11;
constexpr std::int32_t msoShapeRectangle = 1;
constexpr std::int32_t msoShapeOval = 9;
constexpr std::int32_t msoSendBackward = 3;  // ZOrder(3)
// Border identifiers
constexpr std::int16_t wdBorderTop = -1;
constexpr std::int16_t wdBorderLeft = -2;
constexpr std::int16_t wdBorderBottom = -3;
constexpr std::int16_t wdBorderRight = -4;
constexpr std::int16_t wdBorderHorizontal = -5;
constexpr std::int16_t wdBorderVertical = -6;
constexpr std::int16_t wdBorderDiagonalDown = -7;
constexpr std::int16_t wdBorderDiagonalUp = -8;
// The largest page Word allows, 22 inches on each side, in points: no shape
// is ever shown larger than that.
constexpr double kLargestPagePt = 1584;
}  // namespace constants

// The factor that brings a shape of widthPt x heightPt within the largest
// page, aspect kept: 1 for a shape that fits.
inline double largestPageScale(double widthPt, double heightPt) {
    constexpr double page = constants::kLargestPagePt;
    double scale = 1;
    if (std::isfinite(widthPt) && widthPt > page) scale = std::min(scale, page / widthPt);
    if (std::isfinite(heightPt) && heightPt > page) scale = std::min(scale, page / heightPt);
    return scale;
}

class Application {
public:
    virtual ~Application() = default;
    virtual DocumentsPtr Documents() = 0;
    virtual SelectionPtr Selection() = 0;
    virtual std::string Version() = 0;  // "12.0"
    virtual std::string Name() = 0;
    virtual std::int32_t WindowState() = 0;
    virtual void setWindowState(std::int32_t state) = 0;
    virtual bool Visible() = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void Quit() = 0;
};

class Documents {
public:
    virtual ~Documents() = default;
    virtual DocumentPtr Open(const std::string& FileName, bool ReadOnly) = 0;
    virtual DocumentPtr add() = 0;
    virtual std::int32_t count() = 0;
};

// A header or footer story as a range over its whole text.
struct HeaderFooterRange {
    RangePtr range;
    bool footer = false;
};

class Document {
public:
    virtual ~Document() = default;
    virtual InlineShapesPtr InlineShapes() = 0;
    virtual ShapesPtr Shapes() = 0;
    virtual RangePtr Content() = 0;
    virtual WindowPtr Windows(std::int16_t index) = 0;
    // The content from character position `start` to the end.
    virtual RangePtr Range(std::int16_t start) = 0;
    // Saves under `path`, in the format its extension names; an existing file is replaced.
    virtual void SaveAs(const std::string& path) = 0;
    // Later saves leave out data no current reader needs: the second copy of
    // each picture an RTF file keeps for readers older than Word 97, and the
    // pictures a .doc file still stores although no shape or picture shows
    // them.  Off until set; an office that cannot tell such data apart keeps
    // everything.
    virtual void setDropUnusedData(bool drop) { (void)drop; }
    // Whether the document holds such data at all.
    virtual bool HoldsUnusedData() { return false; }
    virtual bool Saved() = 0;
    virtual void setSaved(bool saved) = 0;
    virtual std::string FullName() = 0;
    virtual void Close() = 0;
    // The size in bytes that the document's file would have if it were saved
    // now, when the office can tell without writing it; nothing when only a
    // save can tell.  Not a member of Word's own object model: it spares the
    // measuring steps a file for every object they look at.
    virtual std::optional<double> SizeIfSaved() { return std::nullopt; }
    // The header and footer stories whose pictures the office can replace,
    // in the order the file holds them (every section's first-page, odd and
    // even ones).  Empty where it can replace none.  Word reaches the same
    // through each section's Headers and Footers.
    virtual std::vector<HeaderFooterRange> HeaderFooterRanges() { return {}; }
};

class Window {
public:
    virtual ~Window() = default;
    virtual void Activate() = 0;
};

class Range {
public:
    virtual ~Range() = default;
    virtual void Copy() = 0;
    virtual void Paste() = 0;
    virtual void Delete() = 0;
    virtual void Select() = 0;
    virtual Variant Information(std::int32_t type) = 0;
    virtual FramesPtr Frames() = 0;
    virtual InlineShapesPtr InlineShapes() = 0;
    virtual ShapeRangePtr ShapeRange() = 0;  // floating shapes anchored in the range
};

class Frames {
public:
    virtual ~Frames() = default;
    virtual std::int32_t count() = 0;
};

class Selection {
public:
    virtual ~Selection() = default;
    virtual ShapeRangePtr ShapeRange() = 0;
    virtual void Collapse() = 0;
    virtual void Copy() = 0;
    virtual void Cut() = 0;
    virtual void Paste() = 0;
    virtual Variant Information(std::int32_t type) = 0;
};

class InlineShapes {
public:
    virtual ~InlineShapes() = default;
    virtual std::int32_t count() = 0;
    virtual InlineShapePtr item(std::int32_t index) = 0;  // from 1
};

class InlineShape {
public:
    virtual ~InlineShape() = default;
    virtual std::int32_t Type() = 0;
    virtual OLEFormatPtr OLEFormat() = 0;
    virtual RangePtr Range() = 0;
    virtual double Width() = 0;
    virtual void setWidth(double width) = 0;
    virtual double Height() = 0;
    virtual void setHeight(double height) = 0;
    virtual Variant LockAspectRatio() = 0;
    virtual void setLockAspectRatio(const Variant& value) = 0;
    virtual BordersPtr Borders() = 0;
    virtual ShapePtr ConvertToShape() = 0;
    virtual void Select() = 0;
    virtual void Delete() = 0;
};

class Shapes {
public:
    virtual ~Shapes() = default;
    virtual std::int32_t count() = 0;
    virtual ShapePtr item(std::int32_t index) = 0;  // from 1
    virtual ShapePtr AddShape(std::int32_t type, double left, double top, double width, double height) = 0;
};

class ShapeRange {
public:
    virtual ~ShapeRange() = default;
    virtual std::int32_t count() = 0;
    virtual ShapePtr item(std::int32_t index) = 0;  // from 1
    virtual ShapePtr Group() = 0;
};

class Shape {
public:
    virtual ~Shape() = default;
    virtual std::string Name() = 0;
    virtual std::int32_t Type() = 0;
    virtual double Left() = 0;
    virtual void setLeft(double left) = 0;
    virtual double Top() = 0;
    virtual void setTop(double top) = 0;
    virtual double Width() = 0;
    virtual void setWidth(double width) = 0;
    virtual double Height() = 0;
    virtual void setHeight(double height) = 0;
    // Replace = false adds the shape to the current selection.
    virtual void Select(bool Replace) = 0;
    void Select() { Select(true); }
    virtual ShapeRangePtr Ungroup() = 0;
    virtual void Delete() = 0;
    virtual OLEFormatPtr OLEFormat() = 0;
    virtual TextFramePtr TextFrame() = 0;
    virtual RangePtr Anchor() = 0;
    virtual double Rotation() = 0;
    // 0 is passed as a 16-bit integer, a saved rotation as a double.
    virtual void setRotation(const Variant& degrees) = 0;
    virtual void ZOrder(std::int32_t command) = 0;
    virtual std::int32_t ZOrderPosition() = 0;
    virtual void PickUp() = 0;
    virtual void Apply() = 0;
    virtual InlineShapePtr ConvertToInlineShape() = 0;
    virtual WrapFormatPtr WrapFormat() = 0;
    virtual Variant RelativeHorizontalPosition() = 0;
    virtual void setRelativeHorizontalPosition(const Variant& value) = 0;
    virtual Variant RelativeHorizontalSize() = 0;
    virtual void setRelativeHorizontalSize(const Variant& value) = 0;
    virtual Variant RelativeVerticalPosition() = 0;
    virtual void setRelativeVerticalPosition(const Variant& value) = 0;
    virtual Variant RelativeVerticalSize() = 0;
    virtual void setRelativeVerticalSize(const Variant& value) = 0;
};

class TextFrame {
public:
    virtual ~TextFrame() = default;
    virtual RangePtr TextRange() = 0;
};

class OLEFormat {
public:
    virtual ~OLEFormat() = default;
    virtual std::string progId() = 0;
};

class WrapFormat {
public:
    virtual ~WrapFormat() = default;
    virtual Variant AllowOverlap() = 0;
    virtual void setAllowOverlap(const Variant& value) = 0;
    virtual Variant DistanceBottom() = 0;
    virtual void setDistanceBottom(const Variant& value) = 0;
    virtual Variant DistanceLeft() = 0;
    virtual void setDistanceLeft(const Variant& value) = 0;
    virtual Variant DistanceRight() = 0;
    virtual void setDistanceRight(const Variant& value) = 0;
    virtual Variant DistanceTop() = 0;
    virtual void setDistanceTop(const Variant& value) = 0;
    virtual Variant Side() = 0;
    virtual void setSide(const Variant& value) = 0;
    virtual Variant Type() = 0;
    virtual void setType(const Variant& value) = 0;
};

class Borders {
public:
    virtual ~Borders() = default;
    virtual Variant DistanceFromBottom() = 0;
    virtual void setDistanceFromBottom(const Variant& value) = 0;
    virtual Variant DistanceFromLeft() = 0;
    virtual void setDistanceFromLeft(const Variant& value) = 0;
    virtual Variant DistanceFromRight() = 0;
    virtual void setDistanceFromRight(const Variant& value) = 0;
    virtual Variant DistanceFromTop() = 0;
    virtual void setDistanceFromTop(const Variant& value) = 0;
    virtual Variant Enable() = 0;
    virtual void setEnable(const Variant& value) = 0;
    virtual Variant OutsideColor() = 0;
    virtual void setOutsideColor(const Variant& value) = 0;
    virtual Variant OutsideColorIndex() = 0;
    virtual void setOutsideColorIndex(const Variant& value) = 0;
    virtual Variant OutsideLineStyle() = 0;
    virtual void setOutsideLineStyle(const Variant& value) = 0;
    virtual Variant OutsideLineWidth() = 0;
    virtual void setOutsideLineWidth(const Variant& value) = 0;
    virtual Variant Shadow() = 0;
    virtual void setShadow(const Variant& value) = 0;
    virtual BorderPtr item(std::int16_t index) = 0;  // wdBorderTop ... wdBorderDiagonalUp
};

class Border {
public:
    virtual ~Border() = default;
    virtual Variant Color() = 0;
    virtual void setColor(const Variant& value) = 0;
    virtual Variant ColorIndex() = 0;
    virtual void setColorIndex(const Variant& value) = 0;
    virtual Variant LineStyle() = 0;
    virtual void setLineStyle(const Variant& value) = 0;
    virtual Variant LineWidth() = 0;
    virtual void setLineWidth(const Variant& value) = 0;
    virtual Variant Visible() = 0;
    virtual void setVisible(const Variant& value) = 0;
};

}  // namespace kelvaran::office::word
