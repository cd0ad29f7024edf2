#pragma once

#include "rules/ExceptionList.h"
#include "settings/RegAccess.h"

#include <QDialog>

#include <array>
#include <string>

class QCheckBox;
class QCloseEvent;
class QListWidget;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace kelvaran::rules {

// The per-application format dialog.  It shows the exception list (keys on
// the left, their formats beside) and changes an entry's format when the
// user picks one; it also carries the recompress switch.  Modeless; closing
// it only hides it, so it lives, with its lists, as long as its owner.
class frmObject : public QDialog {
public:
    explicit frmObject(ExceptionList& list, QWidget* parent = nullptr);
    ~frmObject() override;

    // Appends the installed insertable object servers of HKEY_CLASSES_ROOT.
    void ShowInstalledInsertable(settings::RegAccess& registry);

    // The list the dialog edits, and its two operations.
    ExceptionList& exceptionList() { return list_; }
    void AddToExceptionList(const std::string& name, std::string& value) { list_.AddToExceptionList(name, value); }
    std::string ObjToImage(const std::string& name) { return list_.ObjToImage(name); }

    QListWidget* lstException = nullptr;
    std::array<QRadioButton*, 5> optFormat{};  // "ﾒﾀﾋﾟｸﾁｬ", "JPEG", "PNG", "GIF", "変換しない"
    QCheckBox* chkTwice = nullptr;              // persisted as "Twice"
    QPushButton* btnOK = nullptr;
    QListWidget* lstExceptionValue = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void entryChosen(int row);
    void formatChosen(std::size_t option);
    int selectedRow() const;

    ExceptionList& list_;
};

}  // namespace kelvaran::rules
