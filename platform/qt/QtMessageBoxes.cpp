#include "platform/qt/QtMessageBoxes.h"

#include <QMessageBox>

namespace kelvaran::platform::qt {

QtMessageBoxes::QtMessageBoxes(std::string title, QWidget* parent) : title_(std::move(title)), parent_(parent) {}

void QtMessageBoxes::show(const std::string& text, MessageIcon icon) {
    QMessageBox::Icon shown = QMessageBox::NoIcon;
    switch (icon) {
        case MessageIcon::Exclamation:
            shown = QMessageBox::Warning;
            break;
        case MessageIcon::Stop:
            shown = QMessageBox::Critical;
            break;
        case MessageIcon::None:
            break;
    }
    QMessageBox box(shown, QString::fromStdString(title_), QString::fromStdString(text), QMessageBox::Ok,
                    parent_.data());
    box.setObjectName(QStringLiteral("kelvaranMessage"));
    box.exec();
}

}  // namespace kelvaran::platform::qt
