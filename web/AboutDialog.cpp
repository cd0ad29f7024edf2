#include "web/AboutDialog.h"

#include "Version.h"

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>

#include <cmath>

namespace kelvaran::web {

namespace {

// Geometry is designed in twips; 15 twips make one pixel.
int px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

// Designed client area.
constexpr int kClientWidth = 5580;
constexpr int kClientHeight = 4245;

// A label sized to its text, its top left corner where it was designed.
void placeSizedToText(QLabel* label, int left, int top) {
    label->move(px(left), px(top));
    label->resize(label->sizeHint());
}

}  // namespace

QImage AboutDialog::picture() {
    // A page with a folded corner, and an arrow that squeezes it smaller.
    QImage image(32, 32, QImage::Format_RGB888);
    image.fill(QColor(0xd4, 0xd0, 0xc8));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath page;
    page.moveTo(5.5, 2.5);
    page.lineTo(19.5, 2.5);
    page.lineTo(25.5, 8.5);
    page.lineTo(25.5, 29.5);
    page.lineTo(5.5, 29.5);
    page.closeSubpath();
    painter.setPen(QPen(QColor(0x30, 0x40, 0x70), 1));
    painter.setBrush(Qt::white);
    painter.drawPath(page);
    painter.drawLine(QPointF(19.5, 2.5), QPointF(19.5, 8.5));
    painter.drawLine(QPointF(19.5, 8.5), QPointF(25.5, 8.5));
    painter.setPen(QPen(QColor(0x80, 0x90, 0xb0), 1));
    for (int y = 12; y <= 16; y += 2) painter.drawLine(QPointF(8.5, y + 0.5), QPointF(22.5, y + 0.5));
    // the picture on the page
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x3c, 0x8d, 0xd0));
    painter.drawRect(QRectF(8.5, 19.5, 8, 7));
    // the arrow, from large to small
    painter.setBrush(QColor(0xd0, 0x3c, 0x2c));
    QPainterPath arrow;
    arrow.moveTo(31, 18);
    arrow.lineTo(24, 23);
    arrow.lineTo(31, 28);
    arrow.closeSubpath();
    painter.drawPath(arrow);
    return image;
}

AboutDialog::AboutDialog(const std::string& applicationTitle, QWidget* mainWindow) : QDialog(mainWindow) {
    setObjectName(QStringLiteral("AboutDialog"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(px(kClientWidth), px(kClientHeight));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(px(240), px(120), px(5175), px(1095));

    Image1 = new QLabel(Frame1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap::fromImage(picture()));
    Image1->setGeometry(px(480), px(420), px(480), px(480));

    lblVersion = new QLabel(Frame1);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(px(2100), px(3420), px(1215), px(375));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QWidget::close);

    Label2 = new QLabel(QString::fromUtf8(kMakerNotice), this);
    Label2->setObjectName(QStringLiteral("Label2"));

    // Load.  A main window that is already gone leaves the title and icon as they are.
    if (mainWindow) {
        setWindowTitle(mainWindow->windowTitle());
        setWindowIcon(mainWindow->windowIcon());
    }
    lblVersion->setText(QString::fromStdString(applicationTitle) + QStringLiteral(" Ver.") +
                        QString::fromLatin1(kVersionDotted));

    placeSizedToText(lblVersion, 1320, 540);
    placeSizedToText(Label2, 1440, 3900);
}

}  // namespace kelvaran::web
