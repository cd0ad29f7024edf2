#pragma once

#include "office/Excel.h"
#include "office/Word.h"

namespace kelvaran::office {

// The office objects of a run and the office mode.  The run state extends it;
// the office start-up fills and releases it.
struct OfficeState {
    word::ApplicationPtr appWORD;
    excel::ApplicationPtr appEXCEL;
    word::DocumentPtr srcDoc;
    word::DocumentPtr scratchDoc;
    excel::WorkbookPtr scratchBook;
    excel::WorksheetPtr scratchSheet;
    bool wordIsXP = false;    // Word 10 or later
    bool wordIs2007 = false;  // Word 12 or later
};

}  // namespace kelvaran::office
