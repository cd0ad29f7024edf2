#pragma once

namespace kelvaran::office {
class OfficeFactory;
}

namespace kelvaran::office::native {

// Registers the in-process Word ("WORD.Application") and Excel
// ("EXCEL.Application") with a factory.
void registerNativeBackend(OfficeFactory& factory);

}  // namespace kelvaran::office::native
