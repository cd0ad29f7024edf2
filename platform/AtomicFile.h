#pragma once

#include <string>
#include <string_view>

namespace kelvaran::platform {

// Whether a file is flushed to the disk before it is renamed into place.
// Files that are thrown away after the run (the scratch documents of the
// measurements) need not outlast a power cut.
enum class Durability { Synced, Unsynced };

// Writes a whole file through a temporary file in the same folder and a rename,
// so a crash leaves either the old content or the new one.  Throws
// FileSystemError when the file cannot be written; the temporary file is then
// removed and the old file is untouched.
void writeFileAtomically(const std::string& path, std::string_view content,
                         Durability durability = Durability::Synced);

// Reads a whole file; throws FileSystemError when it cannot.
std::string readWholeFile(const std::string& path);

// A temporary file beside a target, renamed over the target on commit() and
// removed otherwise.  For writers that stream their output: small pieces are
// gathered and written in larger blocks.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string targetPath, Durability durability = Durability::Synced);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    const std::string& temporaryPath() const { return tempPath_; }
    void write(std::string_view bytes);
    // Flushes, syncs and renames over the target; throws FileSystemError.
    void commit();

private:
    void writeOut(std::string_view bytes);
    void flush();

    std::string target_;
    std::string tempPath_;
    int fd_ = -1;
    bool committed_ = false;
    Durability durability_;
    std::string pending_;
};

}  // namespace kelvaran::platform
