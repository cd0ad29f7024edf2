#pragma once

#include <string>

namespace kelvaran::engine {

// A live view of the conversion conditions.  The engine reads them at the
// moment of use, so a change during a run applies to the objects that follow.
// The window's view reads its controls; the command line's holds its options.
class Conditions {
public:
    virtual ~Conditions() = default;
    virtual std::string FileSizeText() = 0;    // combFileSize: KB, read as a double
    virtual std::string RatioText() = 0;       // combRatio: read as a double
    virtual int FormatIndex() = 0;             // combFormat: 0 recommended, 1 JPEG, 2 PNG, 3 GIF, 4 metafile
    virtual std::string ExpectRateText() = 0;  // combExpectRate: percent, read as a double
    virtual std::string PixelSizeText() = 0;   // combPixelSize: read as a whole number
    virtual bool ConvertObjects() = 0;         // chkObject
    virtual bool SlowMode() = 0;               // ChkSlow
    virtual bool Recompress() = 0;             // chkTwice of the format dialog
    // Options of the command line only; the window never sets them.
    // A bitmap is never drawn with more pixels, either way, than it shows.
    virtual bool NoEnlarge() { return false; }
    // The JPEG quality (1 to 100) asked of the office; 0 leaves the office's own.
    virtual int JpegQuality() { return 0; }
    // The pictures and objects of header and footer stories are walked too.
    virtual bool Headers() { return false; }
};

// The same conditions held as plain values.
struct ConditionValues {
    std::string fileSize = "50";
    std::string ratio = "1.5";
    int format = 0;
    std::string expectRate = "75";
    std::string pixelSize = "9999";
    bool convertObjects = false;
    bool slowMode = false;
    bool recompress = false;
    bool noEnlarge = false;
    int jpegQuality = 0;
    bool headers = false;
};

class FixedConditions : public Conditions {
public:
    FixedConditions() = default;
    explicit FixedConditions(ConditionValues values) : values_(std::move(values)) {}
    ConditionValues& values() { return values_; }

    std::string FileSizeText() override { return values_.fileSize; }
    std::string RatioText() override { return values_.ratio; }
    int FormatIndex() override { return values_.format; }
    std::string ExpectRateText() override { return values_.expectRate; }
    std::string PixelSizeText() override { return values_.pixelSize; }
    bool ConvertObjects() override { return values_.convertObjects; }
    bool SlowMode() override { return values_.slowMode; }
    bool Recompress() override { return values_.recompress; }
    bool NoEnlarge() override { return values_.noEnlarge; }
    int JpegQuality() override { return values_.jpegQuality; }
    bool Headers() override { return values_.headers; }

private:
    ConditionValues values_;
};

}  // namespace kelvaran::engine
