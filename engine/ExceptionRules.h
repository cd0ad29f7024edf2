#pragma once

#include <string>

namespace kelvaran::engine {

// The per-application exception list as the engine uses it.
class ExceptionRules {
public:
    virtual ~ExceptionRules() = default;
    // Registers a new application key (lower-cased; ignored when empty or
    // known).  A value "True" or "False" is stored, and written back, as the
    // metafile format name.
    virtual void AddToExceptionList(const std::string& name, std::string& value) = 0;
    // The format name for an application key; the metafile name when unknown.
    virtual std::string ObjToImage(const std::string& name) = 0;
};

// The format names.
inline const std::string kFormatMetafile = "ﾒﾀﾋﾟｸﾁｬ";
inline const std::string kFormatJpeg = "JPEG";
inline const std::string kFormatPng = "PNG";
inline const std::string kFormatGif = "GIF";
inline const std::string kFormatNone = "変換しない";

}  // namespace kelvaran::engine
