#pragma once

#include <QFont>

namespace kelvaran::app::gui {

// The font of the windows: a Japanese gothic face at 12 pixels, the size the
// designed rows of 180 twips were laid out for.
QFont interfaceFont();

}  // namespace kelvaran::app::gui
