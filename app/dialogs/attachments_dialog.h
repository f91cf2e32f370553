#pragma once

// The Save attachments dialog "frmAttachments": the attachments of the message in a check list, with a pop-up to
// check all, none or the opposite, a note that attached messages are saved as Outlook messages, and the buttons
// Save and Cancel.

#include <QDialog>

#include "icons.h"

class QLabel;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorra {

class TfrmAttachments : public QDialog {
    Q_OBJECT

public:
    explicit TfrmAttachments(QWidget* parent = nullptr);

    // Adds an attachment: its caption as the user knows it, its icon and file name. Files start checked, the others
    // unchecked. An item that stands for no attachment (checkable false) is listed but cannot be checked.
    void AddItem(const QString& caption, TAttachmentIcon icon, const QString& fileName, bool checkable = true);
    // Captions the list's first column.
    void SetNameCaption(const QString& caption);
    int Count() const;
    bool IsChecked(int index) const;
    void SetChecked(int index, bool checked);
    // The pop-up's command by its tag: 0 checks every item, 1 unchecks every item, 2 inverts each check mark.
    void miSelectAllClick(int tag);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTreeWidgetItem* Item(int index) const;
    void UpdateNote();

    QTreeWidget* lvAttachments_;
    QMenu* pmAttachments_;
    QLabel* lblMessagesNote_;
};

} // namespace quorra
