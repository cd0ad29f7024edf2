#pragma once

#include <QPlainTextEdit>

#include <string>

class QMimeData;

namespace kelvaran::platform {
class FileSystem;
}

namespace kelvaran::app::gui {

// The input box: one file name per line, typed, chosen in the open-file
// dialog or dropped.  Its text travels with CR LF line breaks.  A drop is
// inserted at the caret (replacing the selection), never where the mouse
// let go: a file list adds each dropped file, and for a folder each file
// directly inside it, one per line; plain text is added followed by a line
// break.
class SourceBox : public QPlainTextEdit {
public:
    explicit SourceBox(QWidget* parent = nullptr);

    // Lists the files of dropped folders; without it a folder is added as it is.
    void setFileSystem(platform::FileSystem* fileSystem) { fileSystem_ = fileSystem; }

    // The whole text with CR LF between the lines.
    std::string text() const;
    // Replaces the selection at the caret by `text`; "\r\n" starts a new line.
    void insertAtCaret(const QString& text);
    // What a drop of `data` inserts; false when it carried nothing usable.
    bool insertDropped(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    platform::FileSystem* fileSystem_ = nullptr;
};

}  // namespace kelvaran::app::gui
