#pragma once

#include <string>
#include <vector>

namespace kelvaran::platform {

// The file-system service of the process: existence, names, sizes, temporary
// names, deletion and folder listing.  Paths use "/" as separator.  Every member
// that cannot do its work throws FileSystemError.
class FileSystem {
public:
    struct File {
        std::string Path;
        double Size = 0;  // bytes
    };
    struct Folder {
        std::string Path;
        std::vector<std::string> Files;  // full paths of the files directly inside, sorted by name
    };

    virtual ~FileSystem() = default;

    virtual bool folderExists(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Extension without the dot, as written ("DOC" stays "DOC"); empty when none.
    virtual std::string GetExtensionName(const std::string& path) = 0;
    // 2 = the temporary folder (TMPDIR, else /tmp), without a trailing "/".
    virtual std::string GetSpecialFolder(int which) = 0;
    // A fresh name of the form "radXXXXX.tmp" that no file in the temporary folder has.
    virtual std::string GetTempName() = 0;
    virtual File GetFile(const std::string& path) = 0;
    virtual std::string GetParentFolderName(const std::string& path) = 0;
    // File name without folder and extension.
    virtual std::string GetBaseName(const std::string& path) = 0;
    virtual void deletefile(const std::string& path) = 0;
    virtual Folder getFolder(const std::string& path) = 0;
};

// The implementation over std::filesystem.
class StdFileSystem : public FileSystem {
public:
    bool folderExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    std::string GetExtensionName(const std::string& path) override;
    std::string GetSpecialFolder(int which) override;
    std::string GetTempName() override;
    File GetFile(const std::string& path) override;
    std::string GetParentFolderName(const std::string& path) override;
    std::string GetBaseName(const std::string& path) override;
    void deletefile(const std::string& path) override;
    Folder getFolder(const std::string& path) override;
};

}  // namespace kelvaran::platform
