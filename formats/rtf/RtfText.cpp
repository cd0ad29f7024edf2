#include "formats/rtf/RtfText.h"

#include <iconv.h>

#include <array>
#include <map>
#include <mutex>
#include <set>
#include <utility>

namespace kelvaran::formats::rtf {

namespace {

// Code page 1252 differs from Latin-1 only in 0x80-0x9F.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// One converter per code page for the life of the program; iconv handles are
// not thread-safe, so conversions take the lock.
std::mutex converterLock;

// Converters are closed when the program ends.
struct Converters {
    std::map<int, iconv_t> open;
    ~Converters() {
        for (auto& [codePage, handle] : open) {
            if (handle != reinterpret_cast<iconv_t>(-1)) iconv_close(handle);
        }
    }
};

iconv_t converterFor(int codePage) {
    static Converters converters;
    auto found = converters.open.find(codePage);
    if (found != converters.open.end()) return found->second;
    std::string name = "CP" + std::to_string(codePage);
    iconv_t handle = iconv_open("UTF-8", name.c_str());
    converters.open.emplace(codePage, handle);
    return handle;
}

}  // namespace

int codePageOfCharset(int charset) {
    switch (charset) {
        case 0: return 1252;
        case 77: return 10000;
        case 128: return 932;
        case 129: return 949;
        case 130: return 1361;
        case 134: return 936;
        case 136: return 950;
        case 161: return 1253;
        case 162: return 1254;
        case 163: return 1258;
        case 177: return 1255;
        case 178: return 1256;
        case 186: return 1257;
        case 204: return 1251;
        case 222: return 874;
        case 238: return 1250;
        default: return 0;
    }
}

bool isDoubleByteCodePage(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool isLeadByteIn(int codePage, std::uint8_t byte) {
    switch (codePage) {
        case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950: return byte >= 0x81 && byte <= 0xFE;
        default: return false;
    }
}

void appendUtf8(char32_t c, std::string& out) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendCodePageChar(int codePage, std::string_view bytes, std::string& out) {
    if (bytes.empty()) return;
    const auto first = static_cast<unsigned char>(bytes[0]);
    if (bytes.size() == 1 && first < 0x80) {
        out += static_cast<char>(first);
        return;
    }
    if (codePage == 1252 || codePage == 0) {
        const char16_t c = first >= 0x80 && first < 0xA0 ? kCp1252High[first - 0x80] : char16_t{first};
        appendUtf8(c, out);
        return;
    }
    std::lock_guard<std::mutex> hold(converterLock);
    iconv_t converter = converterFor(codePage);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        appendUtf8(0xFFFD, out);
        return;
    }
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::array<char, 8> input{};
    std::array<char, 16> output{};
    const std::size_t length = std::min<std::size_t>(bytes.size(), input.size());
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length), input.begin());
    char* in = input.data();
    char* to = output.data();
    std::size_t inLeft = length;
    std::size_t outLeft = output.size();
    if (iconv(converter, &in, &inLeft, &to, &outLeft) == static_cast<std::size_t>(-1) || to == output.data()) {
        appendUtf8(0xFFFD, out);
        return;
    }
    out.append(output.data(), static_cast<std::size_t>(to - output.data()));
}

const char* specialCharacter(std::string_view word) {
    static constexpr std::pair<std::string_view, const char*> kCharacters[] = {
        {"tab", "\t"},
        {"line", "\v"},
        {"emdash", "\xE2\x80\x94"},
        {"endash", "\xE2\x80\x93"},
        {"bullet", "\xE2\x80\xA2"},
        {"lquote", "\xE2\x80\x98"},
        {"rquote", "\xE2\x80\x99"},
        {"ldblquote", "\xE2\x80\x9C"},
        {"rdblquote", "\xE2\x80\x9D"},
        {"emspace", "\xE2\x80\x83"},
        {"enspace", "\xE2\x80\x82"},
    };
    for (const auto& [name, character] : kCharacters) {
        if (name == word) return character;
    }
    return nullptr;
}

bool isSkippedDestination(std::string_view word) {
    static const std::set<std::string_view> names = {
        "colortbl", "stylesheet", "info", "header", "headerl", "headerr", "headerf", "footer", "footerl",
        "footerr", "footerf", "footnote", "annotation", "pgdsctbl", "listtable", "listoverridetable",
        "rsidtbl", "xmlnstbl", "generator", "background", "pntext", "pntxta", "pntxtb", "listtext",
        "txe", "comment", "author", "title", "subject", "operator", "keywords", "doccomm", "company",
        "buptim", "creatim", "revtim", "printim", "filetbl", "revtbl", "themedata", "colorschememapping",
        "datastore", "latentstyles", "fldinst", "bkmkstart", "bkmkend", "nonshppict", "shprslt", "do",
        "xe", "tc", "template", "userprops", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn",
        "pict", "object", "objdata", "sp", "shpinst", "mmathPr", "wgrffmtfilter", "pgptbl", "listpicture",
        "fontemb", "falt", "panose", "protusertbl", "passwordhash", "docvar", "atnid", "atnauthor", "atnref",
        "atndate", "atrfstart", "atrfend", "ud", "upr"};
    return names.count(word) > 0;
}

}  // namespace kelvaran::formats::rtf
