#include "formats/rtf/RtfFormat.h"
#include "formats/rtf/RtfRunOffsets.h"
#include "formats/rtf/RtfSpelledRun.h"
#include "tests/formats/rtf/RtfTestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace kelvaran::formats::rtf {
namespace {

using namespace test;

std::vector<std::uint64_t> allOffsets(const RunOffsets& offsets) {
    std::vector<std::uint64_t> out;
    for (std::size_t unit = 0; unit < offsets.size(); ++unit) out.push_back(offsets.at(unit));
    return out;
}

TEST(RunOffsetsTest, GivesBackEveryOffsetOfEveryPattern) {
    const std::vector<std::vector<std::uint64_t>> cases = {
        {},
        {7},
        {7, 8},
        {0, 1, 2, 3, 4, 5},                      // plain text
        {10, 14, 18, 22, 23, 24, 30, 30, 31},    // escapes, then plain, then two units at one place
        {5, 5, 5, 9, 9},                         // repeated places
        {100, 3, 4, 5, 1u << 31, (1ull << 33)},  // backwards and beyond 32 bits
    };
    for (const auto& expected : cases) {
        RunOffsets offsets;
        for (auto at : expected) offsets.push(at);
        EXPECT_EQ(offsets.size(), expected.size());
        EXPECT_EQ(offsets.empty(), expected.empty());
        EXPECT_EQ(allOffsets(offsets), expected);
        offsets.finish();
        EXPECT_EQ(allOffsets(offsets), expected) << "after finish";
        // A finished run that takes more characters keeps the earlier ones.
        auto longer = expected;
        longer.push_back(longer.empty() ? 1 : longer.back() + 3);
        offsets.push(longer.back());
        EXPECT_EQ(allOffsets(offsets), longer) << "pushed after finish";
    }
    // Random mixtures of steps, as text with escapes scattered in it reads.
    std::mt19937 draw(18);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::uint64_t> expected;
        std::uint64_t at = draw() % 1000;
        const int length = static_cast<int>(draw() % 400);
        for (int i = 0; i < length; ++i) {
            expected.push_back(at);
            const unsigned kind = draw() % 10;
            at += kind < 6 ? 1 : kind < 8 ? 4 : kind < 9 ? 0 : draw() % 50;
        }
        RunOffsets offsets;
        for (auto offset : expected) offsets.push(offset);
        offsets.finish();
        ASSERT_EQ(allOffsets(offsets), expected) << "round " << round;
    }
}

TEST(RunOffsetsTest, CopiesAreApartFromTheRunTheyCameFrom) {
    // One stretch only; several; and one offset a character after finish().
    const std::vector<std::vector<std::uint64_t>> cases = {
        {40, 41, 42, 43},
        {10, 14, 18, 22, 23, 24, 30, 30, 31},
        {9, 2, 7, 1, 8},
    };
    for (const auto& expected : cases) {
        RunOffsets original;
        for (auto at : expected) original.push(at);
        original.finish();
        RunOffsets copy = original;
        RunOffsets assigned;
        assigned.push(1000);
        assigned = original;
        original.push(5);
        original.push(500);
        auto longer = expected;
        longer.push_back(5);
        longer.push_back(500);
        EXPECT_EQ(allOffsets(original), longer);
        EXPECT_EQ(allOffsets(copy), expected);
        EXPECT_EQ(allOffsets(assigned), expected);
        // And the copy grows on its own.
        copy.push(77);
        auto grown = expected;
        grown.push_back(77);
        EXPECT_EQ(allOffsets(copy), grown);
        EXPECT_EQ(allOffsets(original), longer);
        RunOffsets moved = std::move(copy);
        EXPECT_EQ(allOffsets(moved), grown);
    }
}

TEST(RunOffsetsTest, WhatARunKeepsGrowsWithItsEscapesNotItsLength) {
    // Plain text: one step repeated.
    RunOffsets plain;
    for (std::uint64_t at = 0; at < 1000000; ++at) plain.push(5000 + at);
    plain.finish();
    EXPECT_LE(plain.keptBytes(), 8u);
    EXPECT_TRUE(plain.contiguous(5000));
    EXPECT_FALSE(plain.contiguous(5001));
    EXPECT_EQ(plain.at(999999), 5000u + 999999u);

    // An escape of four bytes after every nine plain characters (accented
    // text): a few bytes for each escape.
    RunOffsets accented;
    std::vector<std::uint64_t> expected;
    std::uint64_t at = 100;
    for (int i = 0; i < 100000; ++i) {
        expected.push_back(at);
        accented.push(at);
        at += i % 10 == 9 ? 4 : 1;
    }
    accented.finish();
    EXPECT_FALSE(accented.contiguous(100));
    EXPECT_LE(accented.keptBytes(), 100000u * 3 / 10);
    for (std::size_t unit = 0; unit < expected.size(); unit += 997) EXPECT_EQ(accented.at(unit), expected[unit]);
    EXPECT_EQ(accented.at(expected.size() - 1), expected.back());

    // Steps that never repeat cost a byte or two each, never more.
    RunOffsets mixed;
    at = 0;
    for (int i = 0; i < 10000; ++i) {
        mixed.push(at);
        at += i % 2 ? 1 : 5;
    }
    mixed.finish();
    EXPECT_LE(mixed.keptBytes(), 10000u);
}

// U+FFFC at UTF-16 position `position` of a UTF-8 text.
std::string withObjectAt(const std::string& text, std::int64_t position) {
    std::size_t at = 0;
    std::int64_t units = 0;
    while (at < text.size() && units < position) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t width = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        units += width == 4 ? 2 : 1;
        at += width;
    }
    return text.substr(0, at) + "\xEF\xBF\xBC" + text.substr(at);
}

model::InlineObject smallPicture() {
    model::InlineObject added;
    added.picture = newPng(12, 9).toPictureData();
    added.widthPt = 12;
    added.heightPt = 9;
    return added;
}

// Inserts a picture before every character of the first paragraph in turn;
// the copy must hold it exactly there and be the input with the picture's
// group added and nothing else changed.
void insertEverywhere(const std::string& rtf, const std::string& expectedText) {
    const auto original = read(rtf);
    ASSERT_EQ(original.main().plainText(), expectedText + "\n") << rtf;
    // Every run here is read again from its bytes instead of being copied.
    for (const auto& element : original.main().elements) {
        if (element.kind == model::ElementKind::Text) {
            EXPECT_TRUE(element.text.inInputBuffer()) << element.text;
        }
    }
    const std::int64_t length = original.main().length() - 1;
    for (std::int64_t position = 0; position <= length; ++position) {
        auto document = read(rtf);
        // Between the halves of a surrogate pair is no place for a picture.
        const std::string before = withObjectAt(document.main().plainText(), position);
        if (position < length && withObjectAt(document.main().plainText(), position + 1) == before) continue;
        document.insertInline(0, position, smallPicture());
        std::string written;
        const auto back = roundTrip(document, &written);
        EXPECT_EQ(back.main().plainText(), before) << "position " << position << " of " << rtf;
        ASSERT_EQ(back.inlinesOf(0).size(), 1u);
        // Everything but the added picture is the input's bytes.
        std::size_t same = 0;
        while (same < rtf.size() && same < written.size() && rtf[same] == written[same]) ++same;
        const std::size_t rest = rtf.size() - same;
        ASSERT_GE(written.size(), rtf.size());
        EXPECT_EQ(written.substr(written.size() - rest), rtf.substr(same)) << "position " << position;
    }
}

TEST(RunOffsetsTest, PicturesInsertedIntoTextLandBetweenTheRightCharacters) {
    insertEverywhere(wrap("Hello world\\par"), "Hello world");
    // Runs that cross group boundaries and formatting words.
    insertEverywhere(wrap("ab{\\b cd}ef{\\i g}\\ul h{{x}}\\par"), "abcdefghx");
    // Hex escapes of the code page, plain and in a row.
    insertEverywhere(wrap("caf\\'e9 \\'80x\\'e8\\'e9y\\par"), "café €xèéy");
    // \uN with one, two and no fallback characters to skip, and negative N.
    insertEverywhere(wrap("\\uc1\\u233?t\\uc2\\u26085\\'93\\'fa!{\\uc0\\u26412 z}\\u-257?\\par"), "ét日!本z\xEF\xBB\xBF");
    // A character beyond the basic plane: two positions, one picture place.
    insertEverywhere(wrap("a\\u-10179?\\u-8704?b\\par"), "a\xF0\x9F\x98\x80" "b");
    // Symbols and words that stand for characters.
    insertEverywhere(wrap("a\\~b\\-c\\_d\\{e\\}f\\\\g\\tab h\\emdash i\\par"),
                     "a\xC2\xA0" "b\xC2\xAD" "c\xE2\x80\x91" "d{e}f\\g\th—i");
    // Double-byte text: escaped pairs, a trail byte that is "\" and raw pairs.
    insertEverywhere("{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 Mincho;}}\\f0 "
                     "\\'82\\'a0\\'95\\'5ca\x82\xa2{\\'83\\'93}\\par}",
                     "あ表aいン");
}

TEST(RunOffsetsTest, RandomSpelledTextReadsAndTakesPicturesWhereTheWriterOfItMeant) {
    // Paragraphs of pieces whose text is known beforehand: the document's
    // text must be theirs, most runs must be kept in the input, and a picture
    // put anywhere in a paragraph must land there in the copy.
    struct Piece {
        const char* rtf;
        const char* text;
    };
    static const Piece pieces[] = {
        {"plain words ", "plain words "},
        {"caf\\'e9", "caf\xC3\xA9"},
        {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},
        {"\\'80", "\xE2\x82\xAC"},
        {"\\u26085?", "\xE6\x97\xA5"},
        {"{\\uc0\\u233 }", "\xC3\xA9"},
        {"\\uc2\\u26412\\'93\\'fa\\uc1 ", "\xE6\x9C\xAC"},
        {"\\u-10179?\\u-8704?", "\xF0\x9F\x98\x80"},
        {"\\{\\}\\\\", "{}\\"},
        {"\\tab ", "\t"},
        {"\\emdash ", "\xE2\x80\x94"},
        {"\\~", "\xC2\xA0"},
        {"{\\b bold}", "bold"},
        {"{\\i {\\'e0}}", "\xC3\xA0"},
        {"{\\*\\bkmkstart a}{\\field{\\*\\fldinst PAGE }{\\fldrslt 7}}", "7"},
    };
    std::mt19937 draw(11);
    int runs = 0;
    int kept = 0;
    for (int paragraph = 0; paragraph < 60; ++paragraph) {
        std::string body = "{\\pard ";
        std::string text;
        const int count = 1 + static_cast<int>(draw() % 10);
        for (int i = 0; i < count; ++i) {
            const Piece& piece = pieces[draw() % std::size(pieces)];
            body += piece.rtf;
            text += piece.text;
        }
        body += "\\par}";
        const std::string rtf = wrap(body);
        SCOPED_TRACE(rtf);
        auto document = read(rtf);
        ASSERT_EQ(document.main().plainText(), text + "\n");
        for (const auto& element : document.main().elements) {
            if (element.kind != model::ElementKind::Text) continue;
            ++runs;
            if (element.text.inInputBuffer()) ++kept;
        }
        // A place between two characters, never inside a surrogate pair.
        const std::int64_t length = document.main().length() - 1;
        std::int64_t position = static_cast<std::int64_t>(draw() % static_cast<std::uint32_t>(length + 1));
        while (position < length && withObjectAt(text, position) == withObjectAt(text, position + 1)) ++position;
        document.insertInline(0, position, smallPicture());
        const auto back = roundTrip(document);
        EXPECT_EQ(back.main().plainText(), withObjectAt(text, position) + "\n") << "position " << position;
    }
    // A run that starts inside a group with its own \uc and leaves it cannot
    // be read again from its bytes alone (the \uc outside is not in them):
    // those few keep a copy.
    EXPECT_EQ(runs, 60);
    EXPECT_GE(kept, 50);
}

TEST(RunOffsetsTest, ARunIsKeptAsSpelledOnlyInAStateThatFitsItsRecord) {
    EXPECT_TRUE(spelledRunContext(1252, 1));
    EXPECT_TRUE(spelledRunContext(65001, 16));
    EXPECT_NE(spelledRunContext(932, 0), spelledRunContext(932, 1));
    EXPECT_FALSE(spelledRunContext(65536, 1));
    EXPECT_FALSE(spelledRunContext(-1, 1));
    EXPECT_FALSE(spelledRunContext(1252, 17));
    // Groups nested past what the reader reads: not read again.
    std::string deep = "a";
    for (int i = 0; i < 300; ++i) deep += "{";
    deep += "b";
    for (int i = 0; i < 300; ++i) deep += "}";
    std::string text;
    EXPECT_FALSE(readSpelledRun(deep, *spelledRunContext(1252, 1), text));
    text.clear();
    EXPECT_TRUE(readSpelledRun("a{{b}}c", *spelledRunContext(1252, 1), text));
    EXPECT_EQ(text, "abc");
    // A code page past what the record holds: the text is right, and copied.
    const auto document = read("{\\rtf1\\ansi\\ansicpg70000{\\fonttbl{\\f0\\fnil Odd;}}\\f0 caf\\'e9\\par}");
    const auto& run = document.main().elements.front();
    ASSERT_EQ(run.kind, model::ElementKind::Text);
    EXPECT_FALSE(run.text.inInputBuffer());
    EXPECT_EQ(run.chars, 4);
}

TEST(RunOffsetsTest, LongTextThenPicturesAndObjects) {
    // A long paragraph of text with an escape now and then, then a picture
    // and an embedded object; pictures go in deep inside the text and the
    // picture after it is replaced.
    std::string body = "{\\pard ";
    std::string text;
    std::mt19937 draw(4);
    while (text.size() < 300000) {
        if (draw() % 40 == 0) {
            body += "\\'e9";
            text += "\xC3\xA9";
        } else if (draw() % 60 == 0) {
            body += "{\\b bold}";
            text += "bold";
        } else {
            const char c = static_cast<char>('a' + draw() % 26);
            body += c;
            text += c;
        }
    }
    body += "\\par}";
    const std::string pict = "{\\pict\\pngblip\\picw2\\pich2\\picwgoal400\\pichgoal300 " + hex(tinyPng()) + "}";
    const std::string object = "{\\object\\objemb\\objw400\\objh300{\\*\\objclass Paint.Picture}{\\*\\objdata 0102}"
                               "{\\result " + pict + "}}";
    const std::string rtf = wrap(body + "{\\pard " + pict + "\\par}{\\pard " + object + "\\par}");
    auto document = read(rtf);
    ASSERT_EQ(document.inlinesOf(0).size(), 2u);
    EXPECT_EQ(writeRtf(document), rtf);
    const std::string plain = document.main().plainText();
    const std::int64_t deep = 250000;
    document.insertInline(0, deep, smallPicture());
    document.insertInline(0, 17, smallPicture());
    const int picture = document.inlinesOf(0)[2];
    const auto [story, element] = document.locateInline(picture);
    const auto at = document.positionOf(story, static_cast<std::size_t>(element));
    document.eraseRange(story, at, at + 1);
    auto bigger = smallPicture();
    bigger.widthPt = 40;
    document.insertInline(story, at, bigger);
    const auto back = roundTrip(document);
    EXPECT_EQ(back.main().plainText(), withObjectAt(withObjectAt(plain, deep), 17));
    const auto objects = back.inlinesOf(0);
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_NEAR(back.inlines[static_cast<std::size_t>(objects[2])].widthPt, 40, 0.05);
    EXPECT_NEAR(back.inlines[static_cast<std::size_t>(objects[3])].widthPt, 20, 0.05);
}

}  // namespace
}  // namespace kelvaran::formats::rtf
