#pragma once

#include "platform/Host.h"

#include <QPointer>
#include <QWidget>

#include <string>

namespace kelvaran::platform::qt {

// Modal message boxes with an OK button, captioned with the application
// title: the exclamation icon for refusals, the stop icon when the program
// cannot go on.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(std::string title, QWidget* parent = nullptr);
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const std::string& text, MessageIcon icon) override;

private:
    std::string title_;
    QPointer<QWidget> parent_;
};

}  // namespace kelvaran::platform::qt
