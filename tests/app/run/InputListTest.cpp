#include "app/run/InputList.h"

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

TEST_F(ValidateInputFilesTest, RefusalNamesThePositionOfTheEntry) {
    const auto refusal = FindRefusal({at("A.DOC"), at("d.txt"), at("gone.doc")}, fileSystem_);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->index, 1u);
    EXPECT_EQ(refusal->message, "ワードファイルではありません：" + at("d.txt"));
    EXPECT_FALSE(FindRefusal({at("A.DOC")}, fileSystem_));
}

TEST_F(ValidateInputFilesTest, DuplicatesGoHoweverTheyAreSpelt) {
    const auto result = DropDuplicateEntries({at("A.DOC"), at("b.Rtf"), (root_ / "." / "A.DOC").string(),
                                              (root_ / "folder.doc" / ".." / "b.Rtf").string(), at("gone.doc"),
                                              at("gone.doc"), at("a.doc")});
    // Names are compared exactly: a.doc is another file than A.DOC here.
    EXPECT_THAT(result, ElementsAre(at("A.DOC"), at("b.Rtf"), at("gone.doc"), at("a.doc")));
}

TEST_F(ValidateInputFilesTest, DuplicatesThroughASymbolicLink) {
    fs::create_symlink(root_ / "A.DOC", root_ / "link.doc");
    EXPECT_THAT(DropDuplicateEntries({at("link.doc"), at("A.DOC")}), ElementsAre(at("link.doc")));
}

TEST_F(ValidateInputFilesTest, FoldersExpandToTheirWordFilesOnly) {
    fs::create_directories(root_ / "tree" / "b");
    for (const char* name : {"tree/z.rtf", "tree/b/y.DOC", "tree/b/x.docx", "tree/w.txt", "tree/b/v"}) {
        std::ofstream(root_ / name) << "x";
    }
    fs::create_directory_symlink(root_, root_ / "tree" / "loop");
    EXPECT_THAT(ExpandFolders({at("A.DOC"), at("tree"), at("gone.doc")}),
                ElementsAre(at("A.DOC"), at("tree/b/y.DOC"), at("tree/z.rtf"), at("gone.doc")));
    // "folder.doc" is a folder, whatever its name says.
    EXPECT_THAT(ExpandFolders({at("folder.doc")}), IsEmpty());
}

TEST_F(ValidateInputFilesTest, OutputClashNamesBothEntries) {
    std::ofstream(root_ / "A-slimmed-0k.doc") << "x";
    const auto clash = FindOutputClash({at("A.DOC"), at("A-slimmed-0k.doc")}, "", fileSystem_);
    ASSERT_TRUE(clash);
    EXPECT_THAT(*clash, ::testing::HasSubstr(at("A-slimmed-0k.doc")));
    EXPECT_THAT(*clash, ::testing::HasSubstr(at("A.DOC")));
    EXPECT_FALSE(FindOutputClash({at("A.DOC"), at("b.Rtf"), at("d.txt")}, "", fileSystem_));
    // Into another folder the same two no longer meet.
    EXPECT_FALSE(FindOutputClash({at("A.DOC"), at("A-slimmed-0k.doc")}, at("folder.doc"), fileSystem_));
    std::ofstream(root_ / "folder.doc" / "A-slimmed-0k.doc") << "x";
    EXPECT_TRUE(FindOutputClash({at("A.DOC"), at("folder.doc/A-slimmed-0k.doc")}, at("folder.doc"), fileSystem_));
}

TEST(ReadFileList, LinesAndNulSeparatedNames) {
    EXPECT_THAT(ReadFileList("a.doc\nb c.rtf\r\n\n\n d.doc \n", false), ElementsAre("a.doc", "b c.rtf", " d.doc "));
    EXPECT_THAT(ReadFileList("last.doc", false), ElementsAre("last.doc"));
    EXPECT_THAT(ReadFileList("", false), IsEmpty());
    EXPECT_THAT(ReadFileList(std::string("a\nb.doc\0\0c\r.doc\0", 16), true), ElementsAre("a\nb.doc", "c\r.doc"));
    EXPECT_THAT(ReadFileList(std::string("x.doc\0y.doc", 11), true), ElementsAre("x.doc", "y.doc"));
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
    EXPECT_EQ(SlimmedCopyPath("/doc/report.DOC", 153600, "doc", "/out", fileSystem), "/out/report-slimmed-150k.doc");
    EXPECT_EQ(SlimmedCopyPath("/doc/report.DOC", 153600, "doc", "", fileSystem), "/doc/report-slimmed-150k.doc");
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
