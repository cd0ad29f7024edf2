#pragma once

// What LibreOffice read from a document, taken from its flat OpenDocument
// export: the text, and every picture, object and text-box frame with the
// attributes a reader sees (anchor, size, wrapping, position references,
// rotation, in front of or behind the text).

#include <string>
#include <string_view>
#include <vector>

namespace kelvaran::verify {

struct Frame {
    enum class Kind { Picture, Object, TextBox, Other };
    Kind kind = Kind::Other;
    std::string where;   // "body" or "header" (headers and footers)
    std::string name;    // draw:name, for messages only
    std::string anchor;  // as-char, char, paragraph, page, frame
    double widthMm = 0;
    double heightMm = 0;
    std::string wrap;    // none, left, right, parallel, dynamic, run-through (empty: inline)
    std::string horizontalRel;
    std::string verticalRel;
    bool behindText = false;
    double rotationDegrees = 0;
};

const char* kindName(Frame::Kind kind);

struct OdfContent {
    // The text of every paragraph and heading of the body (text boxes and
    // tables included), one line each, in document order.
    std::string bodyText;
    std::string headerText;
    std::vector<Frame> frames;  // body frames first, then header frames
};

// Reads a flat OpenDocument text file (.fodt).  Throws std::runtime_error
// when it is not one.
OdfContent readFlatOdt(const std::string& path);
OdfContent parseFlatOdt(std::string_view xml);

// A length with its unit ("1.0417in", "2.5cm", "12pt") in millimetres; 0 when
// it cannot be read.
double lengthToMm(std::string_view text);

// The rotation of a draw:transform value ("rotate (0.52) translate (...)"),
// in degrees counter-clockwise, brought into [0, 360).
double rotationOf(std::string_view transform);

}  // namespace kelvaran::verify
