#pragma once

#include <QIcon>

namespace kelvaran::app::gui {

// The 16 x 16 pictures of the start and stop buttons, drawn at run time.
QIcon startButtonPicture();
QIcon stopButtonPicture();

}  // namespace kelvaran::app::gui
