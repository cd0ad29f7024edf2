#include "app/InputList.h"

#include "platform/FileSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace kelvaran::app {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SplitInputText, BlankLinesAndSurroundingSpacesVanish) {
    EXPECT_THAT(SplitInputText("  a.doc  \r\n\r\n"), ElementsAre("a.doc"));
    EXPECT_THAT(SplitInputText("a.doc\r\n  b.rtf   "), ElementsAre("a.doc", "b.rtf"));
    EXPECT_THAT(SplitInputText("a.doc\rb.doc\r"), ElementsAre("a.doc", "b.doc"));
    EXPECT_THAT(SplitInputText(" \r\n \r\n"), IsEmpty());
    EXPECT_THAT(SplitInputText(""), IsEmpty());
}

TEST(SplitInputText, OnlyPlainSpacesAreBlank) {
    // A lone LF inside a name stays, as do tabs and inner spaces.
    EXPECT_THAT(SplitInputText("a\nb.doc\r\n"), ElementsAre("a\nb.doc"));
    EXPECT_THAT(SplitInputText("\tx.doc\t\r\nmy file.doc"), ElementsAre("\tx.doc\t", "my file.doc"));
    // Leading LFs of an entry are skipped like blank lines.
    EXPECT_THAT(SplitInputText("\n\nc.doc"), ElementsAre("c.doc"));
    EXPECT_THAT(SplitInputText("\xe3\x80\x80z.doc"), ElementsAre("\xe3\x80\x80z.doc"));
}

TEST(IsBlankInput, SpacesOnly) {
    EXPECT_TRUE(IsBlankInput(""));
    EXPECT_TRUE(IsBlankInput("    "));
    EXPECT_FALSE(IsBlankInput(" \r\n "));
    EXPECT_FALSE(IsBlankInput("\t"));
}

class ValidateInputFilesTest : public ::testing::Test {
protected:
    ValidateInputFilesTest() {
        root_ = fs::temp_directory_path() / ("kelvaran-validate-" + std::to_string(::getpid()));
        fs::create_directories(root_ / "folder.doc");
        for (const char* name : {"A.DOC", "b.Rtf", "c.docx", "d.txt", "noext", "e.DocX"}) {
            std::ofstream(root_ / name) << "x";
        }
    }
    ~ValidateInputFilesTest() override { fs::remove_all(root_); }
    std::string at(const std::string& name) const { return (root_ / name).string(); }
    fs::path root_;
    platform::StdFileSystem fileSystem_;
};

TEST_F(ValidateInputFilesTest, MessagesInTestOrder) {
    EXPECT_EQ(ValidateInputFiles({at("A.DOC"), at("b.Rtf")}, fileSystem_), std::nullopt);
    EXPECT_EQ(ValidateInputFiles({at("folder.doc")}, fileSystem_), "フォルダ名は指定できません：" + at("folder.doc"));
    EXPECT_EQ(ValidateInputFiles({at("gone.doc")}, fileSystem_), "入力ファイルが存在しません：" + at("gone.doc"));
    EXPECT_EQ(ValidateInputFiles({at("c.docx")}, fileSystem_),
              "Office 2007は[2003互換モード]にのみ対応しています：" + at("c.docx"));
    EXPECT_EQ(ValidateInputFiles({at("e.DocX")}, fileSystem_),
              "Office 2007は[2003互換モード]にのみ対応しています：" + at("e.DocX"));
    EXPECT_EQ(ValidateInputFiles({at("d.txt")}, fileSystem_), "ワードファイルではありません：" + at("d.txt"));
    EXPECT_EQ(ValidateInputFiles({at("noext")}, fileSystem_), "ワードファイルではありません：" + at("noext"));
}

TEST_F(ValidateInputFilesTest, FirstBadEntryIsNamed) {
    EXPECT_EQ(ValidateInputFiles({at("A.DOC"), at("b.Rtf"), at("missing.doc"), at("d.txt")}, fileSystem_),
              "入力ファイルが存在しません：" + at("missing.doc"));
}

TEST(OutputNames, NumberIsInputSizeRoundedHalfToEven) {
    EXPECT_EQ(SizeInKB(1536), 2);
    EXPECT_EQ(SizeInKB(2560), 2);
    EXPECT_EQ(SizeInKB(3584), 4);
    EXPECT_EQ(SizeInKB(0), 0);
    EXPECT_EQ(SizeInKB(511), 0);
    EXPECT_EQ(SizeInKB(513), 1);
    platform::StdFileSystem fileSystem;
    EXPECT_EQ(OutputPathFor("/doc/report.DOC", 153600, "doc", fileSystem), "/doc/report-slimmed-150k.doc");
    EXPECT_EQ(OutputPathFor("/x.y.rtf", 1536, "rtf", fileSystem), "/x.y-slimmed-2k.rtf");
    EXPECT_EQ(OutputPathFor("plain.doc", 1024, "doc", fileSystem), "plain-slimmed-1k.doc");
}

TEST(LogLines, ExactTexts) {
    EXPECT_EQ(StartLine("/a/b.doc"), "▼開始▼ /a/b.doc\r\n");
    EXPECT_EQ(EndLine(153600, 0), "▲終了▲ 150KB->0KB\r\n\r\n");
    EXPECT_EQ(EndLine(2560, 1536), "▲終了▲ 2KB->2KB\r\n\r\n");
}

TEST(NormalizeFolderPath, AppendsSlashOnceAndChangesArgument) {
    std::string path = "/tmp";
    EXPECT_EQ(NormalizeFolderPath(path), "/tmp/");
    EXPECT_EQ(path, "/tmp/");
    EXPECT_EQ(NormalizeFolderPath(path), "/tmp/");
    std::string root = "/";
    EXPECT_EQ(NormalizeFolderPath(root), "/");
}

}  // namespace
}  // namespace kelvaran::app
