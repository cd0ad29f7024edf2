#include "app/gui/SourceBox.h"

#include "platform/FileSystem.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QUrl>

#include <exception>

namespace kelvaran::app::gui {

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

bool offersUsableData(const QMimeData* data) { return data && (data->hasUrls() || data->hasText()); }

// True when every dropped address is a local file or folder: file managers
// offer such a list together with the same addresses as text, and the
// addresses are what the user means.
bool isLocalFileList(const QMimeData* data) {
    if (!data->hasUrls()) return false;
    const auto urls = data->urls();
    if (urls.isEmpty()) return false;
    for (const auto& url : urls) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) return false;
    }
    return true;
}

}  // namespace

SourceBox::SourceBox(QWidget* parent) : QPlainTextEdit(parent) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
}

std::string SourceBox::text() const {
    QString plain = toPlainText();
    plain.replace(QLatin1Char('\n'), kLineBreak);
    return plain.toStdString();
}

void SourceBox::insertAtCaret(const QString& text) {
    QTextCursor caret = textCursor();
    caret.insertText(text);
    setTextCursor(caret);
}

bool SourceBox::insertDropped(const QMimeData* data) {
    if (!offersUsableData(data)) return false;
    QString inserted;
    if (isLocalFileList(data)) {
        try {
            for (const auto& url : data->urls()) {
                const std::string path = url.toLocalFile().toStdString();
                if (fileSystem_ && fileSystem_->folderExists(path)) {
                    for (const auto& file : fileSystem_->getFolder(path).Files) {
                        inserted += QString::fromStdString(file) + kLineBreak;
                    }
                } else {
                    inserted += QString::fromStdString(path) + kLineBreak;
                }
            }
        } catch (const std::exception&) {
            // A folder that cannot be listed ends the drop; what was found stays.
        }
    } else if (data->hasText()) {
        inserted = data->text() + kLineBreak;
    }
    if (inserted.isEmpty()) return false;
    insertAtCaret(inserted);
    return true;
}

void SourceBox::dragEnterEvent(QDragEnterEvent* event) {
    if (offersUsableData(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SourceBox::dragMoveEvent(QDragMoveEvent* event) {
    // The caret stays where it is: the drop goes there.
    if (offersUsableData(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SourceBox::dropEvent(QDropEvent* event) {
    if (insertDropped(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace kelvaran::app::gui
