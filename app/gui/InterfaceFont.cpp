#include "app/gui/InterfaceFont.h"

#include <QStringList>

namespace kelvaran::app::gui {

QFont interfaceFont() {
    QFont font;
    // The first face that is installed is used; the rest are fallbacks for
    // characters it lacks.
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Sans Serif")});
    font.setPixelSize(12);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace kelvaran::app::gui
