// Runs the command-line program on real RTF files and checks what it wrote:
// a smaller "-slimmed-" copy whose pictures are as many and as large on the
// page as the input's, and whose text LibreOffice reads the same.  The page
// comparison also takes Word 97-2003 files.

#include "app/verify/PageCheck.h"
#include "formats/doc/DocFormat.h"
#include "formats/rtf/RtfFormat.h"
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace kelvaran::e2e {
namespace {

namespace fs = std::filesystem;
namespace model = formats::model;

struct CommandRun {
    int status = -1;
    std::string output;
};

CommandRun run(const std::string& command) {
    CommandRun result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
    result.status = ::pclose(pipe);
    return result;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

struct Size {
    double width = 0;
    double height = 0;
};

// Displayed sizes of every picture and object, inline ones and floating ones
// (group members and pictures in text boxes included), sorted.
std::vector<Size> pictureSizes(const model::Document& document) {
    std::vector<Size> sizes;
    for (std::size_t s = 0; s < document.stories.size(); ++s) {
        if (!document.stories[s].editable) continue;
        for (int object : document.inlinesOf(static_cast<int>(s))) {
            const auto& entry = document.inlines[static_cast<std::size_t>(object)];
            sizes.push_back({entry.widthPt, entry.heightPt});
        }
    }
    for (const auto& shape : document.shapes) {
        if (shape.edit == model::EditState::Deleted || shape.inHeader) continue;
        if (shape.type == model::shape_type::kPicture || shape.type == model::shape_type::kEmbeddedObject) {
            sizes.push_back({shape.widthPt, shape.heightPt});
        }
    }
    std::sort(sizes.begin(), sizes.end(), [](const Size& a, const Size& b) {
        return a.width != b.width ? a.width < b.width : a.height < b.height;
    });
    return sizes;
}

model::Document readBack(const std::string& path) {
    auto bytes = std::make_shared<const std::string>(platform::readWholeFile(path));
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".doc") == 0) return formats::doc::readDoc(bytes);
    return formats::rtf::readRtf(bytes);
}

// The group structure below a shape, members sorted: "G(P,G(P,P))".
std::string shapeTree(const model::Document& document, int index) {
    const auto& shape = document.shapes[static_cast<std::size_t>(index)];
    if (shape.type != model::shape_type::kGroup) return shape.type == model::shape_type::kPicture ? "P" : "S";
    std::vector<std::string> members;
    for (int member : shape.children) members.push_back(shapeTree(document, member));
    std::sort(members.begin(), members.end());
    std::string text = "G(";
    for (std::size_t i = 0; i < members.size(); ++i) text += (i ? "," : "") + members[i];
    return text + ")";
}

class CliEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kelvaran-e2e-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "config");
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Copies a test document to the temporary folder, runs the program on it
    // and returns the input copy's path.
    std::string slim(const std::string& name, const std::string& options = "--min-size 10") {
        return slimCopyOf(fs::path(KELVARAN_NATIVE_DATA) / name, options);
    }
    std::string slimCopyOf(const fs::path& source, const std::string& options = "--min-size 10") {
        const fs::path input = dir / source.filename();
        fs::copy_file(source, input);
        last = run(quoted(KELVARAN_CLI) + " " + options + " " + quoted(input.string()));
        return input.string();
    }

    std::vector<fs::path> outputs() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().filename().string().find("-slimmed-") != std::string::npos) found.push_back(entry.path());
        }
        return found;
    }

    // The checks every slimmed document has to pass.
    void expectSlimmedCopy(const std::string& input, const fs::path& folder = KELVARAN_NATIVE_DATA) {
        const std::string before = platform::readWholeFile(folder / fs::path(input).filename());
        EXPECT_EQ(platform::readWholeFile(input), before) << "the input was changed";
        const auto found = outputs();
        ASSERT_EQ(found.size(), 1u) << last.output;
        EXPECT_LT(fs::file_size(found[0]), fs::file_size(input));
        const auto inputSizes = pictureSizes(readBack(input));
        const auto outputSizes = pictureSizes(readBack(found[0].string()));
        ASSERT_EQ(inputSizes.size(), outputSizes.size());
        for (std::size_t i = 0; i < inputSizes.size(); ++i) {
            EXPECT_NEAR(inputSizes[i].width, outputSizes[i].width, 0.5) << "picture " << i;
            EXPECT_NEAR(inputSizes[i].height, outputSizes[i].height, 0.5) << "picture " << i;
        }
    }

    fs::path dir;
    CommandRun last;
};

TEST_F(CliEndToEndTest, InlinePicturesComeOutSmallerAtTheSameDisplayedSize) {
    const std::string input = slim("gen-inline-pictures.rtf");
    EXPECT_EQ(last.status, 0) << last.output;
    expectSlimmedCopy(input);
    EXPECT_NE(last.output.find("ｲﾝﾗｲﾝ変換"), std::string::npos) << last.output;
}

TEST_F(CliEndToEndTest, PicturesOnLaterPagesAreLoggedWithTheirPage) {
    const std::string input = slim("gen-page-breaks.rtf");
    expectSlimmedCopy(input);
    EXPECT_NE(last.output.find("ページ 3"), std::string::npos) << last.output;
}

TEST_F(CliEndToEndTest, FloatingTextBoxFrameAndGroupPicturesAreReplaced) {
    for (const std::string name : {"gen-floating-rotated-wrapped.rtf", "gen-textbox-picture.rtf",
                                   "gen-frame-picture.rtf", "gen-group-pictures.rtf", "gen-transparent-png.rtf"}) {
        SCOPED_TRACE(name);
        for (const auto& old : outputs()) fs::remove(old);
        const std::string input = slim(name, "--min-size 10 --pixel-size 10");
        expectSlimmedCopy(input);
        fs::remove(input);
    }
}

// LibreOffice names the floating shape of a .doc it saves "Shape1", not by
// its kind: the photo is visited and converted like the three inline ones.
TEST_F(CliEndToEndTest, FloatingPhotoOfADocumentSavedByAnotherProgramIsConverted) {
    const fs::path generated = KELVARAN_GENERATED_DATA;
    const std::string input = slimCopyOf(generated / "gen-rtf-rotated-floating-photo.doc", "--min-size 10");
    EXPECT_EQ(last.status, 0) << last.output;
    expectSlimmedCopy(input, generated);
    auto count = [&](const std::string& words) {
        int n = 0;
        for (std::size_t at = last.output.find(words); at != std::string::npos; at = last.output.find(words, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("ｲﾝﾗｲﾝ変換"), 3) << last.output;
    EXPECT_EQ(count("ｼｪｰﾌﾟ変換"), 1) << last.output;
}

TEST_F(CliEndToEndTest, GroupsTakenApartInAWord97DocumentComeBackAsTheSameGroups) {
    const fs::path source = fs::path(KELVARAN_GENERATED_DATA) / "gen-nested-group-pictures.doc";
    const std::string input = slimCopyOf(source, "--min-size 10 --pixel-size 10");
    EXPECT_EQ(last.status, 0) << last.output;
    expectSlimmedCopy(input, KELVARAN_GENERATED_DATA);
    const auto found = outputs();
    ASSERT_EQ(found.size(), 1u);
    const auto before = readBack(input);
    const auto after = readBack(found[0].string());
    ASSERT_EQ(before.topLevelShapes().size(), 1u);
    ASSERT_EQ(after.topLevelShapes().size(), 1u);
    EXPECT_EQ(shapeTree(after, after.topLevelShapes()[0]), shapeTree(before, before.topLevelShapes()[0]));
    int jpegs = 0;
    for (const auto& shape : after.shapes) jpegs += shape.picture.type == model::PictureFormat::Jpeg ? 1 : 0;
    EXPECT_EQ(jpegs, 2) << last.output;
}

TEST_F(CliEndToEndTest, EmbeddedObjectsBecomePictures) {
    const std::string input = slim("gen-embedded-objects.rtf", "--min-size 10 --objects");
    expectSlimmedCopy(input);
}

TEST_F(CliEndToEndTest, NothingToReplaceWritesNoCopy) {
    slim("gen-text-only.rtf");
    EXPECT_EQ(last.status, 0) << last.output;
    EXPECT_TRUE(outputs().empty());
}

TEST_F(CliEndToEndTest, BrokenInputIsRefusedWithAReasonAndNothingIsWritten) {
    const fs::path broken = dir / "broken.rtf";
    std::string bytes = platform::readWholeFile(fs::path(KELVARAN_NATIVE_DATA) / "gen-inline-pictures.rtf");
    bytes.resize(bytes.size() / 3);
    platform::writeFileAtomically(broken.string(), "{\\rtf1{{{{{{{{{{\\bin999999999999 " + bytes);
    last = run(quoted(KELVARAN_CLI) + " --min-size 10 " + quoted(broken.string()));
    EXPECT_TRUE(outputs().empty()) << last.output;
    EXPECT_FALSE(last.output.empty());
}

class LibreOfficeCrossCheck : public CliEndToEndTest {
protected:
    // LibreOffice, with a profile of this test's own, converts the document
    // with `filter` into the folder `out`.
    CommandRun convert(const fs::path& document, const std::string& filter, const fs::path& out) {
        return run("soffice -env:UserInstallation=file://" + (dir / "lo").string() + " --headless --convert-to " +
                   filter + " --outdir " + quoted(out.string()) + " " + quoted(document.string()));
    }

    // Slims a copy of `source` alone and returns the slimmed copy, or an
    // empty path (after a failure) when there is not exactly one.
    fs::path slimAlone(const fs::path& source, const std::string& options, std::string& input) {
        for (const auto& old : outputs()) fs::remove(old);
        fs::remove(dir / source.filename());
        input = slimCopyOf(source, options);
        const auto found = outputs();
        if (found.size() != 1) {
            ADD_FAILURE() << found.size() << " slimmed copies of " << source << "\n" << last.output;
            return {};
        }
        return found[0];
    }

    std::string text(const fs::path& document) {
        const fs::path out = dir / "txt";
        fs::create_directories(out);
        const CommandRun converted = convert(document, "txt:Text", out);
        const fs::path result = out / (document.stem().string() + ".txt");
        if (!fs::exists(result)) return "(conversion failed: " + converted.output + ")";
        return platform::readWholeFile(result.string());
    }

    // How many pictures and objects LibreOffice finds in the document: its
    // frames in the flat OpenDocument text it converts the document to.
    int libreOfficeFrames(const fs::path& document, const std::string& tag) {
        const fs::path out = dir / ("fodt-" + tag);
        fs::remove_all(out);
        fs::create_directories(out);
        convert(document, "fodt", out);
        const fs::path flat = out / (document.stem().string() + ".fodt");
        if (!fs::exists(flat)) return -1;
        const std::string xml = platform::readWholeFile(flat.string());
        int frames = 0;
        for (std::size_t at = xml.find("<draw:frame"); at != std::string::npos; at = xml.find("<draw:frame", at + 1))
            ++frames;
        return frames;
    }
};

TEST_F(LibreOfficeCrossCheck, SlimmedDocumentsReadTheSameText) {
    for (const std::string name : {"gen-inline-pictures.rtf", "gen-floating-rotated-wrapped.rtf"}) {
        SCOPED_TRACE(name);
        for (const auto& old : outputs()) fs::remove(old);
        const std::string input = slim(name);
        const auto found = outputs();
        ASSERT_EQ(found.size(), 1u) << last.output;
        EXPECT_EQ(text(found[0]), text(input));
    }
}

TEST_F(LibreOfficeCrossCheck, SlimmedCopiesShowEveryPicture) {
    // Converted objects among them: a converted object must stay visible.
    const fs::path generated = KELVARAN_GENERATED_DATA;
    const fs::path corpus = fs::path(KELVARAN_DOC_DATA);
    const std::vector<std::pair<fs::path, std::string>> cases = {
        {generated / "gen-embedded-objects.doc", "--min-size 1 --objects"},
        {corpus / "word97-floating-and-inline-png-object.doc", "--min-size 1 --objects --expect-rate 100"},
        {corpus / "lo-written-ole-equation.doc", "--min-size 1 --objects --expect-rate 100"},
        {generated / "gen-nested-group-pictures.doc", "--min-size 10 --pixel-size 10"}};
    for (const auto& [source, options] : cases) {
        SCOPED_TRACE(source.filename().string());
        std::string input;
        const fs::path slimmed = slimAlone(source, options, input);
        if (slimmed.empty()) continue;
        const int before = libreOfficeFrames(input, "before");
        ASSERT_GT(before, 0) << "LibreOffice found no picture in the input";
        EXPECT_EQ(libreOfficeFrames(slimmed, "after"), before);
    }
}

// The pages as a reader sees them: LibreOffice renders input and copy (the
// copy under the input's name), and no tile of about 6 mm may differ much,
// nor the text or the picture frames.
TEST_F(LibreOfficeCrossCheck, SlimmedPagesLookTheSame) {
    const fs::path generated = KELVARAN_GENERATED_DATA;
    const std::string groupsApart = "--min-size 10 --pixel-size 10";
    const std::vector<std::pair<fs::path, std::string>> cases = {
        {fs::path(KELVARAN_NATIVE_DATA) / "gen-inline-pictures.rtf", "--min-size 10"},
        {fs::path(KELVARAN_NATIVE_DATA) / "gen-floating-rotated-wrapped.rtf", "--min-size 10"},
        {generated / "gen-floating-rotated-wrapped.doc", "--min-size 10"},
        {generated / "gen-textbox-picture.doc", "--min-size 10"},
        {generated / "gen-frame-picture.doc", "--min-size 10"},
        {generated / "gen-nested-group-pictures.doc", groupsApart},
        {generated / "gen-embedded-objects.doc", "--min-size 1 --objects"}};
    verify::LibreOfficeRenderer renderer(dir / "render");
    for (const auto& [source, options] : cases) {
        SCOPED_TRACE(source.filename().string());
        std::string input;
        const fs::path slimmed = slimAlone(source, options, input);
        if (slimmed.empty()) continue;
        const std::string name = fs::path(input).filename().string();
        const verify::Rendering before = renderer.render(input, name);
        ASSERT_TRUE(before.opened) << before.failure;
        ASSERT_FALSE(before.pages.empty()) << "LibreOffice rendered no page of the input";
        const verify::CheckResult r = verify::compareRenderings(before, renderer.render(slimmed, name));
        EXPECT_TRUE(r.passed) << r.why;
    }
}

}  // namespace
}  // namespace kelvaran::e2e
