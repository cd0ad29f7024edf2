#pragma once

#include <stdexcept>
#include <string>

namespace kelvaran::formats::doc {

// Raised when a Word 97-2003 document cannot be read or written.  The message is
// meant for the user ("the document is encrypted"); kind() lets callers tell a
// refused document from a damaged one or from a failed save.
class DocError : public std::runtime_error {
public:
    enum class Kind {
        NotAWordDocument,  // not a compound file, or no WordDocument stream
        Damaged,           // inconsistent container or Word structures
        Encrypted,         // password protected or obfuscated
        UnsupportedVersion,// Word 6/95 and older
        CannotWrite        // the writer cannot express a change, or the file could not be saved
    };

    DocError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

}  // namespace kelvaran::formats::doc
