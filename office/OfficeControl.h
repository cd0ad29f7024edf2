#pragma once

#include "office/OfficeFactory.h"
#include "office/OfficeState.h"

#include <functional>
#include <string>

namespace kelvaran::platform {
class Clipboard;
class EventPump;
class MessageBoxes;
}  // namespace kelvaran::platform

namespace kelvaran::office {

// The texts appended to the window title for each office mode.
inline const std::string kMode2000 = " [Office 2000モード]";
inline const std::string kModeXP2003 = " [Office XP/2003モード]";
inline const std::string kMode2007 = " [Office 2007 (2003互換)モード]";

// Brings up the Word and Excel application objects of the run state and
// checks the office environment before a batch run.  Every operation runs on
// the user-interface thread and reports success as a flag.
class OfficeControl {
public:
    // `title` is the application title that precedes the mode text in the
    // main window's caption.  Everything passed in must outlive this object.
    OfficeControl(OfficeFactory& factory, OfficeState& state, platform::Clipboard& clipboard,
                  platform::MessageBoxes& messages, std::string title);

    // Sets the main window's caption (the mode text is appended to the title).
    std::function<void(const std::string&)> setCaption;
    // Ends the program at once, without any closing steps.  When it returns
    // (tests, or a front end that cannot exit), the check reports failure.
    std::function<void()> endProgram;
    // Handed to the applications it creates, which let the window's events
    // run through it while they draw and store pictures; may stay null.
    platform::EventPump* events = nullptr;

    bool WordAlive();
    bool EnsureWord();
    bool ExcelAlive();
    bool EnsureExcel();
    bool NoWordDocumentsOpen();
    bool NoExcelWorkbooksOpen();
    // Proves that both applications start, sets the office mode and the
    // caption, refuses while an application still holds open documents, and
    // quits both again.  True when the batch may run.
    bool CheckEnvironment();

    OfficeState& state() { return state_; }
    // The reason the last creation failed (the office error's text).
    const std::string& lastCreationError() const { return lastCreationError_; }

private:
    void wordStage();
    OfficeFactory& factory_;
    OfficeState& state_;
    platform::Clipboard& clipboard_;
    platform::MessageBoxes& messages_;
    std::string title_;
    std::string lastCreationError_;
    bool wordHasDocuments_ = false;
};

}  // namespace kelvaran::office
