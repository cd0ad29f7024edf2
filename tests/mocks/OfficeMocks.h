#pragma once

// GoogleMock doubles of the Word and Excel object-model interfaces.

#include "office/Excel.h"
#include "office/Word.h"

#include <gmock/gmock.h>

namespace kelvaran::office::testing {

class MockWordApplication : public word::Application {
public:
    MOCK_METHOD(word::DocumentsPtr, Documents, (), (override));
    MOCK_METHOD(word::SelectionPtr, Selection, (), (override));
    MOCK_METHOD(std::string, Version, (), (override));
    MOCK_METHOD(std::string, Name, (), (override));
    MOCK_METHOD(std::int32_t, WindowState, (), (override));
    MOCK_METHOD(void, setWindowState, (std::int32_t), (override));
    MOCK_METHOD(bool, Visible, (), (override));
    MOCK_METHOD(void, setVisible, (bool), (override));
    MOCK_METHOD(void, Quit, (), (override));
};

class MockWordDocuments : public word::Documents {
public:
    MOCK_METHOD(word::DocumentPtr, Open, (const std::string&, bool), (override));
    MOCK_METHOD(word::DocumentPtr, add, (), (override));
    MOCK_METHOD(std::int32_t, count, (), (override));
};

class MockWordDocument : public word::Document {
public:
    MOCK_METHOD(word::InlineShapesPtr, InlineShapes, (), (override));
    MOCK_METHOD(word::ShapesPtr, Shapes, (), (override));
    MOCK_METHOD(word::RangePtr, Content, (), (override));
    MOCK_METHOD(word::WindowPtr, Windows, (std::int16_t), (override));
    MOCK_METHOD(word::RangePtr, Range, (std::int16_t), (override));
    MOCK_METHOD(void, SaveAs, (const std::string&), (override));
    MOCK_METHOD(bool, Saved, (), (override));
    MOCK_METHOD(void, setSaved, (bool), (override));
    MOCK_METHOD(std::string, FullName, (), (override));
    MOCK_METHOD(void, Close, (), (override));
    MOCK_METHOD(std::vector<word::HeaderFooterRange>, HeaderFooterRanges, (), (override));
};

class MockWordWindow : public word::Window {
public:
    MOCK_METHOD(void, Activate, (), (override));
};

class MockWordRange : public word::Range {
public:
    MOCK_METHOD(void, Copy, (), (override));
    MOCK_METHOD(void, Paste, (), (override));
    MOCK_METHOD(void, Delete, (), (override));
    MOCK_METHOD(void, Select, (), (override));
    MOCK_METHOD(Variant, Information, (std::int32_t), (override));
    MOCK_METHOD(word::FramesPtr, Frames, (), (override));
    MOCK_METHOD(word::InlineShapesPtr, InlineShapes, (), (override));
    MOCK_METHOD(word::ShapeRangePtr, ShapeRange, (), (override));
};

class MockWordFrames : public word::Frames {
public:
    MOCK_METHOD(std::int32_t, count, (), (override));
};

class MockWordSelection : public word::Selection {
public:
    MOCK_METHOD(word::ShapeRangePtr, ShapeRange, (), (override));
    MOCK_METHOD(void, Collapse, (), (override));
    MOCK_METHOD(void, Copy, (), (override));
    MOCK_METHOD(void, Cut, (), (override));
    MOCK_METHOD(void, Paste, (), (override));
    MOCK_METHOD(Variant, Information, (std::int32_t), (override));
};

class MockWordInlineShapes : public word::InlineShapes {
public:
    MOCK_METHOD(std::int32_t, count, (), (override));
    MOCK_METHOD(word::InlineShapePtr, item, (std::int32_t), (override));
};

class MockWordInlineShape : public word::InlineShape {
public:
    MOCK_METHOD(std::int32_t, Type, (), (override));
    MOCK_METHOD(word::OLEFormatPtr, OLEFormat, (), (override));
    MOCK_METHOD(word::RangePtr, Range, (), (override));
    MOCK_METHOD(double, Width, (), (override));
    MOCK_METHOD(void, setWidth, (double), (override));
    MOCK_METHOD(double, Height, (), (override));
    MOCK_METHOD(void, setHeight, (double), (override));
    MOCK_METHOD(Variant, LockAspectRatio, (), (override));
    MOCK_METHOD(void, setLockAspectRatio, (const Variant&), (override));
    MOCK_METHOD(word::BordersPtr, Borders, (), (override));
    MOCK_METHOD(word::ShapePtr, ConvertToShape, (), (override));
    MOCK_METHOD(void, Select, (), (override));
    MOCK_METHOD(void, Delete, (), (override));
};

class MockWordShapes : public word::Shapes {
public:
    MOCK_METHOD(std::int32_t, count, (), (override));
    MOCK_METHOD(word::ShapePtr, item, (std::int32_t), (override));
    MOCK_METHOD(word::ShapePtr, AddShape, (std::int32_t, double, double, double, double), (override));
};

class MockWordShapeRange : public word::ShapeRange {
public:
    MOCK_METHOD(std::int32_t, count, (), (override));
    MOCK_METHOD(word::ShapePtr, item, (std::int32_t), (override));
    MOCK_METHOD(word::ShapePtr, Group, (), (override));
};

class MockWordShape : public word::Shape {
public:
    using word::Shape::Select;
    MOCK_METHOD(std::string, Name, (), (override));
    MOCK_METHOD(std::int32_t, Type, (), (override));
    MOCK_METHOD(double, Left, (), (override));
    MOCK_METHOD(void, setLeft, (double), (override));
    MOCK_METHOD(double, Top, (), (override));
    MOCK_METHOD(void, setTop, (double), (override));
    MOCK_METHOD(double, Width, (), (override));
    MOCK_METHOD(void, setWidth, (double), (override));
    MOCK_METHOD(double, Height, (), (override));
    MOCK_METHOD(void, setHeight, (double), (override));
    MOCK_METHOD(void, Select, (bool), (override));
    MOCK_METHOD(word::ShapeRangePtr, Ungroup, (), (override));
    MOCK_METHOD(void, Delete, (), (override));
    MOCK_METHOD(word::OLEFormatPtr, OLEFormat, (), (override));
    MOCK_METHOD(word::TextFramePtr, TextFrame, (), (override));
    MOCK_METHOD(word::RangePtr, Anchor, (), (override));
    MOCK_METHOD(double, Rotation, (), (override));
    MOCK_METHOD(void, setRotation, (const Variant&), (override));
    MOCK_METHOD(void, ZOrder, (std::int32_t), (override));
    MOCK_METHOD(std::int32_t, ZOrderPosition, (), (override));
    MOCK_METHOD(void, PickUp, (), (override));
    MOCK_METHOD(void, Apply, (), (override));
    MOCK_METHOD(word::InlineShapePtr, ConvertToInlineShape, (), (override));
    MOCK_METHOD(word::WrapFormatPtr, WrapFormat, (), (override));
    MOCK_METHOD(Variant, RelativeHorizontalPosition, (), (override));
    MOCK_METHOD(void, setRelativeHorizontalPosition, (const Variant&), (override));
    MOCK_METHOD(Variant, RelativeHorizontalSize, (), (override));
    MOCK_METHOD(void, setRelativeHorizontalSize, (const Variant&), (override));
    MOCK_METHOD(Variant, RelativeVerticalPosition, (), (override));
    MOCK_METHOD(void, setRelativeVerticalPosition, (const Variant&), (override));
    MOCK_METHOD(Variant, RelativeVerticalSize, (), (override));
    MOCK_METHOD(void, setRelativeVerticalSize, (const Variant&), (override));
};

class MockWordTextFrame : public word::TextFrame {
public:
    MOCK_METHOD(word::RangePtr, TextRange, (), (override));
};

class MockWordOLEFormat : public word::OLEFormat {
public:
    MOCK_METHOD(std::string, progId, (), (override));
};

class MockWordWrapFormat : public word::WrapFormat {
public:
    MOCK_METHOD(Variant, AllowOverlap, (), (override));
    MOCK_METHOD(void, setAllowOverlap, (const Variant&), (override));
    MOCK_METHOD(Variant, DistanceBottom, (), (override));
    MOCK_METHOD(void, setDistanceBottom, (const Variant&), (override));
    MOCK_METHOD(Variant, DistanceLeft, (), (override));
    MOCK_METHOD(void, setDistanceLeft, (const Variant&), (override));
    MOCK_METHOD(Variant, DistanceRight, (), (override));
    MOCK_METHOD(void, setDistanceRight, (const Variant&), (override));
    MOCK_METHOD(Variant, DistanceTop, (), (override));
    MOCK_METHOD(void, setDistanceTop, (const Variant&), (override));
    MOCK_METHOD(Variant, Side, (), (override));
    MOCK_METHOD(void, setSide, (const Variant&), (override));
    MOCK_METHOD(Variant, Type, (), (override));
    MOCK_METHOD(void, setType, (const Variant&), (override));
};

class MockWordBorders : public word::Borders {
public:
    MOCK_METHOD(Variant, DistanceFromBottom, (), (override));
    MOCK_METHOD(void, setDistanceFromBottom, (const Variant&), (override));
    MOCK_METHOD(Variant, DistanceFromLeft, (), (override));
    MOCK_METHOD(void, setDistanceFromLeft, (const Variant&), (override));
    MOCK_METHOD(Variant, DistanceFromRight, (), (override));
    MOCK_METHOD(void, setDistanceFromRight, (const Variant&), (override));
    MOCK_METHOD(Variant, DistanceFromTop, (), (override));
    MOCK_METHOD(void, setDistanceFromTop, (const Variant&), (override));
    MOCK_METHOD(Variant, Enable, (), (override));
    MOCK_METHOD(void, setEnable, (const Variant&), (override));
    MOCK_METHOD(Variant, OutsideColor, (), (override));
    MOCK_METHOD(void, setOutsideColor, (const Variant&), (override));
    MOCK_METHOD(Variant, OutsideColorIndex, (), (override));
    MOCK_METHOD(void, setOutsideColorIndex, (const Variant&), (override));
    MOCK_METHOD(Variant, OutsideLineStyle, (), (override));
    MOCK_METHOD(void, setOutsideLineStyle, (const Variant&), (override));
    MOCK_METHOD(Variant, OutsideLineWidth, (), (override));
    MOCK_METHOD(void, setOutsideLineWidth, (const Variant&), (override));
    MOCK_METHOD(Variant, Shadow, (), (override));
    MOCK_METHOD(void, setShadow, (const Variant&), (override));
    MOCK_METHOD(word::BorderPtr, item, (std::int16_t), (override));
};

class MockWordBorder : public word::Border {
public:
    MOCK_METHOD(Variant, Color, (), (override));
    MOCK_METHOD(void, setColor, (const Variant&), (override));
    MOCK_METHOD(Variant, ColorIndex, (), (override));
    MOCK_METHOD(void, setColorIndex, (const Variant&), (override));
    MOCK_METHOD(Variant, LineStyle, (), (override));
    MOCK_METHOD(void, setLineStyle, (const Variant&), (override));
    MOCK_METHOD(Variant, LineWidth, (), (override));
    MOCK_METHOD(void, setLineWidth, (const Variant&), (override));
    MOCK_METHOD(Variant, Visible, (), (override));
    MOCK_METHOD(void, setVisible, (const Variant&), (override));
};

class MockExcelApplication : public excel::Application {
public:
    MOCK_METHOD(excel::WorkbooksPtr, Workbooks, (), (override));
    MOCK_METHOD(std::string, Name, (), (override));
    MOCK_METHOD(std::int32_t, WindowState, (), (override));
    MOCK_METHOD(void, setWindowState, (std::int32_t), (override));
    MOCK_METHOD(bool, Visible, (), (override));
    MOCK_METHOD(void, setVisible, (bool), (override));
    MOCK_METHOD(void, Quit, (), (override));
};

class MockExcelWorkbooks : public excel::Workbooks {
public:
    MOCK_METHOD(excel::WorkbookPtr, add, (), (override));
    MOCK_METHOD(std::int32_t, count, (), (override));
};

class MockExcelWorkbook : public excel::Workbook {
public:
    MOCK_METHOD(excel::WorksheetPtr, Worksheets, (std::int16_t), (override));
    MOCK_METHOD(bool, Saved, (), (override));
    MOCK_METHOD(void, setSaved, (bool), (override));
};

class MockExcelWorksheet : public excel::Worksheet {
public:
    MOCK_METHOD(void, Paste, (bool), (override));
    MOCK_METHOD(void, PasteSpecial, (const std::string&, bool, bool), (override));
    MOCK_METHOD(excel::ShapesPtr, Shapes, (), (override));
};

class MockExcelShapes : public excel::Shapes {
public:
    MOCK_METHOD(std::int32_t, count, (), (override));
    MOCK_METHOD(excel::ShapePtr, item, (std::int16_t), (override));
};

class MockExcelShape : public excel::Shape {
public:
    MOCK_METHOD(double, Width, (), (override));
    MOCK_METHOD(void, setWidth, (double), (override));
    MOCK_METHOD(double, Height, (), (override));
    MOCK_METHOD(void, setHeight, (double), (override));
    MOCK_METHOD(void, Cut, (), (override));
    MOCK_METHOD(void, Delete, (), (override));
};

}  // namespace kelvaran::office::testing
