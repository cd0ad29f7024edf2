#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvaran::platform {
class FileSystem;
}

namespace kelvaran::app {

// The text of the input box split into file names, one per line.  Only the
// plain space counts as blank; CR LF or a lone CR ends a line, a lone LF stays
// part of the name.  Blank lines and leading spaces vanish, every entry is
// trimmed of spaces at both ends, and an empty last entry is dropped.
std::vector<std::string> SplitInputText(const std::string& text);

// True when the text holds nothing but plain spaces (or nothing at all).
bool IsBlankInput(const std::string& text);

// The message that refuses the first unusable entry, tested in list order;
// nothing when every entry may be processed.  Throws platform::Failure when
// the file system cannot answer.
std::optional<std::string> ValidateInputFiles(const std::vector<std::string>& entries,
                                              platform::FileSystem& fileSystem);

// The first unusable entry with its position (from 0) and its message.
struct InputRefusal {
    std::size_t index = 0;
    std::string message;
};
std::optional<InputRefusal> FindRefusal(const std::vector<std::string>& entries, platform::FileSystem& fileSystem);

// True when both names lead to the same file, or would once it exists.
bool SamePath(const std::string& a, const std::string& b);

// One spelling for every name of a file: its canonical path as far as it
// exists, the rest taken lexically.
std::string PathIdentity(const std::string& path);

// The names of a file list: one a line (LF or CR LF), or separated by NUL
// characters.  Empty items are dropped; nothing else is trimmed, because
// blanks may belong to a name.
std::vector<std::string> ReadFileList(const std::string& content, bool nulSeparated);

// The entries with every later mention of a file already listed removed,
// however it is spelt ("./a.doc" and "a.doc" are one file); the first
// mention keeps its place and its spelling.
std::vector<std::string> DropDuplicateEntries(const std::vector<std::string>& entries);

// Every entry that names an existing folder replaced by the .doc and .rtf
// files (any letter case) anywhere under it, sorted by path; other entries
// stay as they are.  Symbolic links to folders are not followed.  Throws
// platform::FileSystemError when a folder cannot be read.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& entries);

// Where the slimmed copy of `inputPath` goes: OutputPathFor, or the same name
// in `outputFolder` when one is given.
std::string SlimmedCopyPath(const std::string& inputPath, double inputBytes, const std::string& srcExt,
                            const std::string& outputFolder, platform::FileSystem& fileSystem);

// A message naming the first entry whose slimmed copy would be another entry
// of the same list; nothing when there is none.  Entries that are not usable
// Word files are passed over (validation refuses them).
std::optional<std::string> FindOutputClash(const std::vector<std::string>& entries, const std::string& outputFolder,
                                           platform::FileSystem& fileSystem);

// For each entry of `entries` whose slimmed copy would have the same name as
// the copy of an entry before it (two inputs of one name in two folders
// written into one output folder, "a.doc" and "a.DOC" of one size), the
// message that refuses it, by its position; the first of them in the list
// keeps the name.  `earlier` are entries that come before `entries` in the
// same run (the parts of a --jobs run taken up by other jobs).  Entries that
// cannot be measured are passed over.
std::vector<std::pair<std::size_t, std::string>> FindCopyNameClashes(const std::vector<std::string>& earlier,
                                                                     const std::vector<std::string>& entries,
                                                                     const std::string& outputFolder,
                                                                     platform::FileSystem& fileSystem);

// The message that refuses the copy of `entry` at `output`, whose name the
// copy of `first` has.
std::string CopyNameClashMessage(const std::string& entry, const std::string& first, const std::string& output);

// Appends "/" unless the path already ends with it; the argument is changed
// too and the result is the changed text.
std::string NormalizeFolderPath(std::string& path);

// The size in KB of 1,024 bytes, rounded half to even.
long long SizeInKB(double bytes);

// Where the slimmed copy of `inputPath` goes: its folder, its base name,
// "-slimmed-", the input's size in KB, "k." and the lower-case extension.
std::string OutputPathFor(const std::string& inputPath, double inputBytes, const std::string& srcExt,
                          platform::FileSystem& fileSystem);

// The document lines of the log.
std::string StartLine(const std::string& entry);
std::string EndLine(double inputBytes, double outputBytes);

// Texts of the run.
namespace texts {
inline const std::string kNoInput = "ワードファイルを指定してください";
inline const std::string kFolderGiven = "フォルダ名は指定できません：";
inline const std::string kMissingFile = "入力ファイルが存在しません：";
inline const std::string kDocxGiven = "Office 2007は[2003互換モード]にのみ対応しています：";
inline const std::string kNotWordFile = "ワードファイルではありません：";
inline const std::string kChecking = "動作環境チェック中...";
inline const std::string kCheckOk = "動作環境チェック中...OK";
inline const std::string kCheckFailed = "動作環境チェック中...失敗";
inline const std::string kProcessing = "処理中";
inline const std::string kStopping = "停止処理中...しばらくお待ちください。";
inline const std::string kCompleted = "変換完了";
inline const std::string kInterrupted = "変換中断";
}  // namespace texts

}  // namespace kelvaran::app
