#include "office/native/NativeBackend.h"

#include "office/OfficeError.h"
#include "office/OfficeFactory.h"
#include "office/native/excel/NativeExcelApplication.h"
#include "office/native/word/DocumentFiles.h"
#include "office/native/word/NativeWordApplication.h"

namespace kelvaran::office::native {

void registerNativeBackend(OfficeFactory& factory) {
    factory.registerWord(kWordClassName, [](const OfficeContext& context) -> word::ApplicationPtr {
        if (!context.clipboard) throw OfficeError("the in-process Word needs the run's clipboard");
        return std::make_shared<NativeWordApplication>(*context.clipboard, builtInFormats(), context.events);
    });
    factory.registerExcel(kExcelClassName, [](const OfficeContext& context) -> excel::ApplicationPtr {
        if (!context.clipboard) throw OfficeError("the in-process Excel needs the run's clipboard");
        return std::make_shared<NativeExcelApplication>(*context.clipboard, context.events);
    });
}

}  // namespace kelvaran::office::native
