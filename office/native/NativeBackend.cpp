#include "office/native/NativeBackend.h"

#include "office/OfficeError.h"
#include "office/OfficeFactory.h"

namespace kelvaran::office::native {

void registerNativeBackend(OfficeFactory& factory) {
    // Placeholder until the document model lands: creation fails cleanly.
    factory.registerWord(kWordClassName, [](const OfficeContext&) -> word::ApplicationPtr {
        throw OfficeError("the in-process Word is not available in this build");
    });
    factory.registerExcel(kExcelClassName, [](const OfficeContext&) -> excel::ApplicationPtr {
        throw OfficeError("the in-process Excel is not available in this build");
    });
}

}  // namespace kelvaran::office::native
