#pragma once

#include "office/Word.h"
#include "office/native/word/WordSession.h"

#include <memory>

namespace kelvaran::office::native {

// The in-process Word.  It reports version 12.0, so the program works in the
// mode of Word 2007: pictures pasted from the scratch sheet arrive inline.
class NativeWordApplication : public word::Application {
public:
    // `events` lets the window answer while documents are read and pictures
    // drawn; may be null.
    NativeWordApplication(platform::Clipboard& clipboard, std::vector<FileFormat> formats,
                          platform::EventPump* events = nullptr);

    const std::shared_ptr<WordSession>& session() const { return session_; }

    word::DocumentsPtr Documents() override;
    word::SelectionPtr Selection() override;
    std::string Version() override;
    std::string Name() override;
    std::int32_t WindowState() override;
    void setWindowState(std::int32_t state) override;
    bool Visible() override;
    void setVisible(bool visible) override;
    // Closes every document without saving.
    void Quit() override;

private:
    std::shared_ptr<WordSession> session_;
};

}  // namespace kelvaran::office::native
