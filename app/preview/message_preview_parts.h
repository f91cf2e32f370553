#pragma once

// What the preview's own files share: the attachment list's item data, the attached message's data node, an
// attachment's bytes, and how a text from a message is shown.

#include <string>

#include <QList>
#include <QListWidget>
#include <QString>
#include <QUrl>

#include "icons.h"
#include "program_texts.h"

namespace pelmsg {
class TMSGProperty;
class TMSGProperties;
} // namespace pelmsg

class QLabel;
class QLineEdit;

namespace quorra {

class TfrmMessage;

extern TProgramText strEncoding;

// A text from a message as the window shows it on its own (a field, a list item, a title): bidirectional controls
// visible; and set into a sentence of the program's own: isolated too.
QString Shown(const QString& text);
QString Isolated(const QString& text);

// A field of the header (read only, refusing drops) and its caption: bold, right-aligned, the field's buddy and
// its accessible name.
QLineEdit* NewHeaderField(QWidget* panel, const char* name);
QLabel* NewHeaderLabel(QWidget* panel, const char* name, const QString& caption, QLineEdit* buddy);

// Item data of the attachment list.
enum TAttachmentRole {
    kRoleIndex = Qt::UserRole, // index among the message's attachments
    kRoleIcon, // the TAttachmentIcon
    kRoleFileName,
    kRoleMime,
    kRoleCaption, // the name as the message gives it (the item shows it with its controls made visible)
};

// What the item of the attachment list stands for.
inline TAttachmentIcon IconOf(const QListWidgetItem* item) { return item->data(kRoleIcon).value<TAttachmentIcon>(); }

// The properties of an attached message: those of its data node (0x3701 at any depth, the object before any other
// type), else those of the attachment node itself.
const pelmsg::TMSGProperties* EmbeddedMessageProperties(const pelmsg::TMSGProperty* node);

std::string AttachmentBytes(const pelmsg::TMSGProperties& message, int index);

// The attachment list: icons with the attachments' names; selected attachments drag out as files (written into the
// private temporary folder under safe names, so the drop target copies them into its own folder).
class TAttachmentList : public QListWidget {
public:
    TAttachmentList(TfrmMessage* form, QWidget* parent);

    QList<QUrl> WriteSelection() const;

protected:
    void startDrag(Qt::DropActions) override;

private:
    TfrmMessage* form_;
};

} // namespace quorra
