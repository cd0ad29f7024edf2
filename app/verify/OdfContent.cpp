#include "app/verify/OdfContent.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <sstream>
#include <stdexcept>

namespace kelvaran::verify {

namespace {

constexpr const char* kText = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr const char* kDraw = "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
constexpr const char* kStyle = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
constexpr const char* kSvg = "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0";
constexpr const char* kOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";

bool is(const xmlNode* node, const char* ns, const char* name) {
    return node && node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           std::string_view(reinterpret_cast<const char*>(node->ns->href)) == ns &&
           std::string_view(reinterpret_cast<const char*>(node->name)) == name;
}

std::string attr(const xmlNode* node, const char* ns, const char* name) {
    xmlChar* value = xmlGetNsProp(const_cast<xmlNode*>(node), reinterpret_cast<const xmlChar*>(name),
                                  reinterpret_cast<const xmlChar*>(ns));
    if (!value) return {};
    std::string out(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return out;
}

// Graphic styles by name with the properties frames take from them, parents
// followed.
class GraphicStyles {
public:
    void add(const xmlNode* style) {
        Entry entry;
        entry.parent = attr(style, kStyle, "parent-style-name");
        for (const xmlNode* c = style->children; c; c = c->next) {
            if (!is(c, kStyle, "graphic-properties")) continue;
            for (const char* key : {"wrap", "horizontal-rel", "vertical-rel", "run-through"}) {
                const std::string value = attr(c, kStyle, key);
                if (!value.empty()) entry.properties[key] = value;
            }
        }
        styles_[attr(style, kStyle, "name")] = std::move(entry);
    }

    std::string property(const std::string& styleName, const std::string& key) const {
        std::string name = styleName;
        for (int depth = 0; depth < 32 && !name.empty(); ++depth) {
            const auto it = styles_.find(name);
            if (it == styles_.end()) break;
            const auto p = it->second.properties.find(key);
            if (p != it->second.properties.end()) return p->second;
            name = it->second.parent;
        }
        return {};
    }

private:
    struct Entry {
        std::string parent;
        std::map<std::string, std::string> properties;
    };
    std::map<std::string, Entry> styles_;
};

void collectStyles(const xmlNode* node, GraphicStyles& styles) {
    for (const xmlNode* c = node; c; c = c->next) {
        if (is(c, kStyle, "style") && attr(c, kStyle, "family") == "graphic") styles.add(c);
        if (c->type == XML_ELEMENT_NODE && !is(c, kOffice, "body")) collectStyles(c->children, styles);
    }
}

class Walker {
public:
    Walker(const GraphicStyles& styles, OdfContent& out) : styles_(styles), out_(out) {}

    void walk(const xmlNode* node, const std::string& where, std::string& text) {
        for (const xmlNode* c = node; c; c = c->next) {
            if (c->type != XML_ELEMENT_NODE) continue;
            if (is(c, kText, "p") || is(c, kText, "h")) {
                std::string line;
                std::string anchored;
                inlineText(c->children, where, line, anchored);
                text += line;
                text += '\n';
                text += anchored;
            } else if (is(c, kDraw, "frame")) {
                text += frame(c, where);
            } else if (is(c, kText, "tracked-changes") || is(c, kOffice, "binary-data")) {
                continue;
            } else {
                walk(c->children, where, text);
            }
        }
    }

private:
    // The text of a paragraph: characters, spaces, tabs and line breaks.
    // Frames anchored in it are collected, and their own paragraphs (a text
    // box's) go to `anchored`, the lines after this paragraph's.
    void inlineText(const xmlNode* node, const std::string& where, std::string& line, std::string& anchored) {
        for (const xmlNode* c = node; c; c = c->next) {
            if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
                line += reinterpret_cast<const char*>(c->content);
            } else if (is(c, kText, "s")) {
                const std::string n = attr(c, kText, "c");
                line.append(n.empty() ? 1 : static_cast<std::size_t>(std::max(1, std::atoi(n.c_str()))), ' ');
            } else if (is(c, kText, "tab")) {
                line += '\t';
            } else if (is(c, kText, "line-break")) {
                line += '\n';
            } else if (is(c, kDraw, "frame")) {
                anchored += frame(c, where);
            } else if (is(c, kText, "note") || is(c, kOffice, "annotation")) {
                walk(c->children, where, anchored);
            } else if (c->type == XML_ELEMENT_NODE) {
                inlineText(c->children, where, line, anchored);
            }
        }
    }

    // Records the frame and gives the text of its text box, if it has one.
    std::string frame(const xmlNode* node, const std::string& where) {
        Frame f;
        f.where = where;
        f.name = attr(node, kDraw, "name");
        f.anchor = attr(node, kText, "anchor-type");
        f.widthMm = lengthToMm(attr(node, kSvg, "width"));
        f.heightMm = lengthToMm(attr(node, kSvg, "height"));
        f.rotationDegrees = rotationOf(attr(node, kDraw, "transform"));
        const std::string style = attr(node, kDraw, "style-name");
        f.wrap = styles_.property(style, "wrap");
        f.horizontalRel = styles_.property(style, "horizontal-rel");
        f.verticalRel = styles_.property(style, "vertical-rel");
        f.behindText = styles_.property(style, "run-through") == "background";
        bool image = false;
        bool object = false;
        bool textBox = false;
        for (const xmlNode* c = node->children; c; c = c->next) {
            if (is(c, kDraw, "image")) image = true;
            if (is(c, kDraw, "object") || is(c, kDraw, "object-ole")) object = true;
            if (is(c, kDraw, "text-box")) textBox = true;
        }
        f.kind = object ? Frame::Kind::Object
                 : image ? Frame::Kind::Picture
                 : textBox ? Frame::Kind::TextBox
                           : Frame::Kind::Other;
        out_.frames.push_back(f);
        std::string text;
        for (const xmlNode* c = node->children; c; c = c->next) {
            if (is(c, kDraw, "text-box")) walk(c->children, where, text);
        }
        return text;
    }

    const GraphicStyles& styles_;
    OdfContent& out_;
};

const xmlNode* child(const xmlNode* node, const char* ns, const char* name) {
    for (const xmlNode* c = node ? node->children : nullptr; c; c = c->next) {
        if (is(c, ns, name)) return c;
    }
    return nullptr;
}

}  // namespace

const char* kindName(Frame::Kind kind) {
    switch (kind) {
        case Frame::Kind::Picture: return "picture";
        case Frame::Kind::Object: return "object";
        case Frame::Kind::TextBox: return "text box";
        case Frame::Kind::Other: return "frame";
    }
    return "frame";
}

double lengthToMm(std::string_view text) {
    if (text.empty()) return 0;
    const std::string s(text);
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (end == s.c_str()) return 0;
    const std::string_view unit(end);
    if (unit == "mm") return value;
    if (unit == "cm") return value * 10;
    if (unit == "in") return value * 25.4;
    if (unit == "pt") return value * 25.4 / 72;
    if (unit == "pc") return value * 25.4 / 6;
    if (unit == "px") return value * 25.4 / 96;
    return 0;
}

double rotationOf(std::string_view transform) {
    const auto at = transform.find("rotate");
    if (at == std::string_view::npos) return 0;
    const auto open = transform.find('(', at);
    if (open == std::string_view::npos) return 0;
    const std::string number(transform.substr(open + 1));
    const double radians = std::strtod(number.c_str(), nullptr);
    double degrees = std::fmod(radians * 180.0 / std::numbers::pi, 360.0);
    if (degrees < 0) degrees += 360.0;
    return degrees;
}

OdfContent parseFlatOdt(std::string_view xml) {
    std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "content.fodt", nullptr,
                      XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!is(root, kOffice, "document")) throw std::runtime_error("not a flat OpenDocument file");

    GraphicStyles styles;
    collectStyles(root->children, styles);
    OdfContent out;
    Walker walker(styles, out);
    const xmlNode* text = child(child(root, kOffice, "body"), kOffice, "text");
    if (text) walker.walk(text->children, "body", out.bodyText);
    const xmlNode* master = child(root, kOffice, "master-styles");
    if (master) walker.walk(master->children, "header", out.headerText);
    return out;
}

OdfContent readFlatOdt(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return parseFlatOdt(bytes.str());
}

}  // namespace kelvaran::verify
