#include "office/OfficeControl.h"

#include "office/OfficeError.h"
#include "platform/Conversions.h"
#include "platform/Host.h"

#include <exception>
#include <memory>

namespace kelvaran::office {

namespace {

const std::string kWordStartFailed = "ワードを起動できません。";
const std::string kExcelStartFailed = "エクセルを起動できません。";
const std::string kWordStartFailedEnd = "ワードを起動できません。終了します。";
const std::string kExcelStartFailedEnd = "エクセルを起動できません。終了します。";
const std::string kCloseWord = "起動中のワードをすべて終了してください。";
const std::string kCloseExcel = "起動中のエクセルをすべて終了してください。";

// An object an office member handed out; a member that hands out nothing has
// failed like one that throws.
template <typename T>
T& present(const std::shared_ptr<T>& object) {
    if (!object) throw OfficeError("the office returned no object");
    return *object;
}

}  // namespace

OfficeControl::OfficeControl(OfficeFactory& factory, OfficeState& state, platform::Clipboard& clipboard,
                             platform::MessageBoxes& messages, std::string title)
    : factory_(factory), state_(state), clipboard_(clipboard), messages_(messages), title_(std::move(title)) {}

bool OfficeControl::WordAlive() {
    if (!state_.appWORD) return false;
    try {
        state_.appWORD->Name();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool OfficeControl::EnsureWord() {
    if (WordAlive()) return true;
    try {
        OfficeContext context;
        context.clipboard = &clipboard_;
        context.events = events;
        state_.appWORD = factory_.createWord(kWordClassName, context);
        return true;
    } catch (const std::exception& e) {
        lastCreationError_ = e.what();
        messages_.show(kWordStartFailed, platform::MessageIcon::Exclamation);
        return false;
    }
}

bool OfficeControl::ExcelAlive() {
    if (!state_.appEXCEL) return false;
    try {
        state_.appEXCEL->Name();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool OfficeControl::EnsureExcel() {
    if (ExcelAlive()) return true;
    try {
        OfficeContext context;
        context.clipboard = &clipboard_;
        context.events = events;
        state_.appEXCEL = factory_.createExcel(kExcelClassName, context);
        return true;
    } catch (const std::exception& e) {
        lastCreationError_ = e.what();
        messages_.show(kExcelStartFailed, platform::MessageIcon::Exclamation);
        return false;
    }
}

bool OfficeControl::NoWordDocumentsOpen() {
    std::int32_t count = 0;
    try {
        if (!state_.appWORD) return true;
        count = present(state_.appWORD->Documents()).count();
    } catch (const std::exception&) {
        return true;
    }
    if (count > 0) {
        messages_.show(kCloseWord, platform::MessageIcon::Exclamation);
        return false;
    }
    return true;
}

bool OfficeControl::NoExcelWorkbooksOpen() {
    std::int32_t count = 0;
    try {
        if (!state_.appEXCEL) return true;
        count = present(state_.appEXCEL->Workbooks()).count();
    } catch (const std::exception&) {
        return true;
    }
    if (count > 0) {
        messages_.show(kCloseExcel, platform::MessageIcon::Exclamation);
        return false;
    }
    return true;
}

// Reads the version, sets the mode and quits Word.  Any failure leaves the
// stage where it happened; the mode flags then keep what they held.  A Word
// that still holds documents is left running and reported through
// wordHasDocuments_.
void OfficeControl::wordStage() {
    try {
        const auto version = platform::roundHalfEven(platform::textToDouble(state_.appWORD->Version()));
        if (version >= 10) {
            state_.wordIsXP = true;
            if (version >= 12) {
                if (setCaption) setCaption(title_ + kMode2007);
                state_.wordIs2007 = true;
            } else {
                if (setCaption) setCaption(title_ + kModeXP2003);
                state_.wordIs2007 = false;
            }
        } else {
            state_.wordIsXP = false;
            state_.wordIs2007 = false;
            if (setCaption) setCaption(title_ + kMode2000);
        }
        // Word is checked while it is still held; after the quit below there
        // is no count to read.
        if (!NoWordDocumentsOpen()) {
            wordHasDocuments_ = true;
            return;
        }
        state_.appWORD->Quit();
        state_.scratchDoc.reset();
        state_.srcDoc.reset();
        state_.appWORD.reset();
    } catch (const std::exception&) {
        // The rest of the Word stage is skipped.
    }
}

bool OfficeControl::CheckEnvironment() {
    wordHasDocuments_ = false;
    if (!EnsureWord()) {
        messages_.show(kWordStartFailedEnd, platform::MessageIcon::Stop);
        if (endProgram) endProgram();
        return false;
    }
    wordStage();
    if (wordHasDocuments_) return false;

    if (!EnsureExcel()) {
        messages_.show(kExcelStartFailedEnd, platform::MessageIcon::Stop);
        return false;
    }
    if (!NoExcelWorkbooksOpen()) return false;
    try {
        state_.appEXCEL->Quit();
    } catch (const std::exception&) {
        // Skipped; the objects are released all the same.
    }
    state_.scratchSheet.reset();
    state_.scratchBook.reset();
    state_.appEXCEL.reset();
    return true;
}

}  // namespace kelvaran::office
