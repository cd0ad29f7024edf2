#include "rules/frmObject.h"

#include "rules/InstalledServers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

namespace kelvaran::rules {

namespace {

// Geometry is designed in twips; 15 twips make one pixel.
QRect fromTwips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QString qt(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

frmObject::frmObject(ExceptionList& list, QWidget* parent) : QDialog(parent), list_(list) {
    setWindowTitle(QStringLiteral("アプリケーション毎に画像変換形式を指定する"));
    setModal(false);
    setFixedSize(4860 / 15, 5925 / 15);

    lstException = new QListWidget(this);
    lstException->setObjectName(QStringLiteral("lstException"));
    lstException->setGeometry(fromTwips(120, 180, 3195, 5460));
    lstException->setSelectionMode(QAbstractItemView::SingleSelection);

    static const char* const kCaptions[] = {"ﾒﾀﾋﾟｸﾁｬ", "JPEG", "PNG", "GIF", "変換しない"};
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (std::size_t i = 0; i < optFormat.size(); ++i) {
        auto* option = new QRadioButton(QString::fromUtf8(kCaptions[i]), this);
        option->setObjectName(QStringLiteral("optFormat%1").arg(i));
        option->setGeometry(fromTwips(3420, 240 + 300 * static_cast<int>(i), 1155, 255));
        group->addButton(option, static_cast<int>(i));
        // clicked, not toggled: choosing the option that is already on must
        // still store it for the entry now selected
        connect(option, &QRadioButton::clicked, this, [this, i] { formatChosen(i); });
        optFormat[i] = option;
    }
    optFormat[0]->setToolTip(QStringLiteral("デフォルトはメタピクチャ形式"));

    chkTwice = new QCheckBox(QStringLiteral("再圧縮あり"), this);
    chkTwice->setObjectName(QStringLiteral("chkTwice"));
    chkTwice->setToolTip(QStringLiteral("画像変換後にJPEGで再圧縮する"));
    chkTwice->setGeometry(fromTwips(3420, 2160, 1215, 375));

    btnOK = new QPushButton(QStringLiteral("閉じる"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(fromTwips(3420, 5100, 1335, 495));
    btnOK->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, &QWidget::hide);

    // Shown for reference only; the user does not operate it.
    lstExceptionValue = new QListWidget(this);
    lstExceptionValue->setObjectName(QStringLiteral("lstExceptionValue"));
    lstExceptionValue->setGeometry(fromTwips(3420, 3600, 855, 1320));
    lstExceptionValue->setEnabled(false);
    // A disabled list's scroll bars cannot be used, and they would take the
    // room of the texts; the list follows the selected entry by itself.
    lstExceptionValue->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstExceptionValue->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstExceptionValue->setTextElideMode(Qt::ElideNone);

    setTabOrder(lstException, optFormat[0]);
    for (std::size_t i = 0; i + 1 < optFormat.size(); ++i) setTabOrder(optFormat[i], optFormat[i + 1]);
    setTabOrder(optFormat[4], chkTwice);
    setTabOrder(chkTwice, btnOK);
    setTabOrder(btnOK, lstExceptionValue);

    for (const ExceptionEntry& entry : list_.entries()) {
        lstException->addItem(qt(entry.oleName));
        lstExceptionValue->addItem(qt(entry.oleValue));
    }
    // The list may outlive the dialog, or the dialog the list (a child
    // widget is destroyed after its owner's members): the callbacks check that
    // the dialog is still there, and the destructor does not touch the list.
    QPointer<frmObject> self(this);
    list_.onAdded = [self](const ExceptionEntry& entry) {
        if (!self) return;
        self->lstException->addItem(qt(entry.oleName));
        self->lstExceptionValue->addItem(qt(entry.oleValue));
    };
    list_.onChanged = [self](std::size_t position) {
        if (!self) return;
        if (QListWidgetItem* item = self->lstExceptionValue->item(static_cast<int>(position))) {
            item->setText(qt(self->list_.entries()[position].oleValue));
        }
    };

    // A mouse click, or the keyboard moving the selection.  Focus alone makes
    // an item current without selecting it; that chooses nothing.
    connect(lstException, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { entryChosen(lstException->row(item)); });
    connect(lstException, &QListWidget::itemSelectionChanged, this, [this] {
        int row = selectedRow();
        if (row >= 0) entryChosen(row);
    });
}

frmObject::~frmObject() = default;

int frmObject::selectedRow() const {
    const QList<QListWidgetItem*> selected = lstException->selectedItems();
    return selected.isEmpty() ? -1 : lstException->row(selected.front());
}

void frmObject::entryChosen(int row) {
    QListWidgetItem* valueItem = lstExceptionValue->item(row);
    if (!valueItem) return;
    lstExceptionValue->setCurrentRow(row);
    const QString value = valueItem->text();
    for (std::size_t i = 0; i < optFormat.size(); ++i) {
        if (optFormat[i]->text() == value) {
            optFormat[i]->setChecked(true);
            formatChosen(i);
        }
    }
}

void frmObject::formatChosen(std::size_t option) {
    int row = selectedRow();
    if (row < 0) return;  // no entry selected: nothing to store
    list_.setValue(static_cast<std::size_t>(row), optFormat[option]->text().toStdString());
}

void frmObject::ShowInstalledInsertable(settings::RegAccess& registry) { AddInstalledInsertable(list_, registry); }

void frmObject::closeEvent(QCloseEvent* event) {
    // The dialog holds the list for the whole run: hide, never close.
    event->ignore();
    hide();
}

void frmObject::showEvent(QShowEvent* event) {
    if (QWidget* owner = parentWidget()) setWindowIcon(owner->windowIcon());
    QDialog::showEvent(event);
}

}  // namespace kelvaran::rules
