#pragma once

// The members of the Excel object model that the program calls (the scratch
// worksheet), as abstract C++ interfaces.  Every member may throw OfficeError.

#include <cstdint>
#include <memory>
#include <string>

namespace kelvaran::office::excel {

class Application;
class Workbooks;
class Workbook;
class Worksheet;
class Shapes;
class Shape;

using ApplicationPtr = std::shared_ptr<Application>;
using WorkbooksPtr = std::shared_ptr<Workbooks>;
using WorkbookPtr = std::shared_ptr<Workbook>;
using WorksheetPtr = std::shared_ptr<Worksheet>;
using ShapesPtr = std::shared_ptr<Shapes>;
using ShapePtr = std::shared_ptr<Shape>;

namespace constants {
constexpr std::int32_t xlMinimized = -4140;
}

// The names of the clipboard formats that PasteSpecial takes.
namespace formats {
inline const std::string kMetafile = "図 (拡張メタファイル)";
inline const std::string kJpeg = "図 (JPEG)";
inline const std::string kPng = "図 (PNG)";
inline const std::string kGif = "図 (GIF)";
}  // namespace formats

class Application {
public:
    virtual ~Application() = default;
    virtual WorkbooksPtr Workbooks() = 0;
    virtual std::string Name() = 0;
    virtual std::int32_t WindowState() = 0;
    virtual void setWindowState(std::int32_t state) = 0;
    virtual bool Visible() = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void Quit() = 0;
    // The JPEG quality (1 to 100) of pictures pasted as JPEG from now on.
    // An office without that setting keeps its own.
    virtual void setJpegQuality(std::int32_t quality) { (void)quality; }
};

class Workbooks {
public:
    virtual ~Workbooks() = default;
    virtual WorkbookPtr add() = 0;
    virtual std::int32_t count() = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;
    virtual WorksheetPtr Worksheets(std::int16_t index) = 0;
    virtual bool Saved() = 0;
    virtual void setSaved(bool saved) = 0;
};

class Worksheet {
public:
    virtual ~Worksheet() = default;
    // Pastes the clipboard's content as it is.
    virtual void Paste(bool link) = 0;
    // Pastes the clipboard's content stored in the named format.
    virtual void PasteSpecial(const std::string& Format, bool link, bool DisplayAsIcon) = 0;
    virtual ShapesPtr Shapes() = 0;
};

class Shapes {
public:
    virtual ~Shapes() = default;
    virtual std::int32_t count() = 0;
    virtual ShapePtr item(std::int16_t index) = 0;  // from 1
};

class Shape {
public:
    virtual ~Shape() = default;
    virtual double Width() = 0;
    virtual void setWidth(double width) = 0;
    virtual double Height() = 0;
    virtual void setHeight(double height) = 0;
    virtual void Cut() = 0;
    virtual void Delete() = 0;
};

}  // namespace kelvaran::office::excel
