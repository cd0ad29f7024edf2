#pragma once

#include "office/Excel.h"
#include "office/Word.h"

#include <functional>
#include <map>
#include <string>

namespace kelvaran::platform {
class Clipboard;
class EventPump;
}  // namespace kelvaran::platform

namespace kelvaran::office {

// What an office backend is given when one of its applications is created.
struct OfficeContext {
    platform::Clipboard* clipboard = nullptr;  // the run's clipboard; never null
    // Lets the front end's window answer during long picture work; may be null.
    platform::EventPump* events = nullptr;
};

// Creates application objects by class name ("WORD.Application",
// "EXCEL.Application").  Backends register themselves; creating a class that
// no backend registered, or whose creator throws, fails with OfficeError.
class OfficeFactory {
public:
    using WordCreator = std::function<word::ApplicationPtr(const OfficeContext&)>;
    using ExcelCreator = std::function<excel::ApplicationPtr(const OfficeContext&)>;

    void registerWord(const std::string& className, WordCreator creator);
    void registerExcel(const std::string& className, ExcelCreator creator);

    word::ApplicationPtr createWord(const std::string& className, const OfficeContext& context) const;
    excel::ApplicationPtr createExcel(const std::string& className, const OfficeContext& context) const;

private:
    std::map<std::string, WordCreator> word_;    // keys in lower case
    std::map<std::string, ExcelCreator> excel_;  // keys in lower case
};

inline const std::string kWordClassName = "WORD.Application";
inline const std::string kExcelClassName = "EXCEL.Application";

}  // namespace kelvaran::office
