#include "office/OfficeFactory.h"

#include "office/OfficeError.h"
#include "platform/Conversions.h"

namespace kelvaran::office {

void OfficeFactory::registerWord(const std::string& className, WordCreator creator) {
    word_[platform::asciiLower(className)] = std::move(creator);
}

void OfficeFactory::registerExcel(const std::string& className, ExcelCreator creator) {
    excel_[platform::asciiLower(className)] = std::move(creator);
}

word::ApplicationPtr OfficeFactory::createWord(const std::string& className, const OfficeContext& context) const {
    auto it = word_.find(platform::asciiLower(className));
    if (it == word_.end()) throw OfficeError("no office backend provides " + className);
    auto app = it->second(context);
    if (!app) throw OfficeError("the backend could not create " + className);
    return app;
}

excel::ApplicationPtr OfficeFactory::createExcel(const std::string& className, const OfficeContext& context) const {
    auto it = excel_.find(platform::asciiLower(className));
    if (it == excel_.end()) throw OfficeError("no office backend provides " + className);
    auto app = it->second(context);
    if (!app) throw OfficeError("the backend could not create " + className);
    return app;
}

}  // namespace kelvaran::office
