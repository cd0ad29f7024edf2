#pragma once

#include "office/native/word/DocumentFiles.h"
#include "platform/Clipboard.h"
#include "platform/Host.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kelvaran::office::native {

class DocumentState;

// What Word's selection holds: a range of a story, or a set of shapes.
struct SelectionState {
    std::weak_ptr<DocumentState> document;
    bool shapes = false;
    int story = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::vector<int> shapeList;  // indexes into the document's shapes
};

// The state one in-process Word application shares with all its objects.
class WordSession {
public:
    WordSession(platform::Clipboard& clipboard, std::vector<FileFormat> formats)
        : clipboard(clipboard), fileFormats(std::move(formats)) {}

    platform::Clipboard& clipboard;
    std::vector<FileFormat> fileFormats;
    platform::EventPump* events = nullptr;  // runs reading and picture work; may be null
    std::vector<std::shared_ptr<DocumentState>> documents;  // open, in order of opening
    SelectionState selection;
    // The format painter: line, fill and shadow formatting picked up.
    std::map<std::string, std::string> painter;
    bool painterLoaded = false;
    std::int32_t windowState = 0;  // wdWindowStateNormal
    bool visible = false;
    bool quit = false;
    int untitledCount = 0;

    // Fails with OfficeError after Quit.
    void checkRunning() const;
    // The document the selection is in, or OfficeError when there is none.
    std::shared_ptr<DocumentState> selectionDocument() const;
};

}  // namespace kelvaran::office::native
