#include "app/gui/ButtonPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kelvaran::app::gui {

namespace {

QPixmap blankPicture() {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    return picture;
}

// The same picture greyed, for the disabled button.
QPixmap greyed(const QPixmap& picture) {
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 128 + qGray(line[x]) / 3;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 2);
        }
    }
    return QPixmap::fromImage(image);
}

QIcon iconOf(const QPixmap& picture) {
    QIcon icon;
    icon.addPixmap(picture, QIcon::Normal);
    icon.addPixmap(greyed(picture), QIcon::Disabled);
    return icon;
}

}  // namespace

QIcon startButtonPicture() {
    // A green triangle pointing right.
    QPixmap picture = blankPicture();
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(3.5, 1.5);
    triangle.lineTo(14.5, 8);
    triangle.lineTo(3.5, 14.5);
    triangle.closeSubpath();
    painter.setPen(QPen(QColor(0x1b, 0x6b, 0x1f), 1));
    painter.setBrush(QColor(0x3c, 0xb0, 0x43));
    painter.drawPath(triangle);
    painter.end();
    return iconOf(picture);
}

QIcon stopButtonPicture() {
    // A red square.
    QPixmap picture = blankPicture();
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x8a, 0x16, 0x16), 1));
    painter.setBrush(QColor(0xd9, 0x3a, 0x3a));
    painter.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 1.5, 1.5);
    painter.end();
    return iconOf(picture);
}

}  // namespace kelvaran::app::gui
