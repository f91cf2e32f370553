#pragma once

// The program's icons (our own SVG drawings under resources/icons), by the image-list indexes the forms use.

#include <cstdint>

#include <QIcon>
#include <QPixmap>

namespace pelmsg {
enum class TAttachmentKind : uint8_t;
}

namespace quorra {

// An attachment as the attachment lists show it: its icon, and what opening and saving it does. Missing: the
// message counts an attachment it does not hold.
enum class TAttachmentIcon { Missing = -1, File = 0, Message = 1, OleObject = 2 };
TAttachmentIcon AttachmentIconOf(pelmsg::TAttachmentKind kind);
// The icon of the attachment (a missing one gets the file's).
QIcon AttachmentIcon(TAttachmentIcon icon);

// Menus, tool buttons and the main page tabs: 0 open, 1 exit, 2 home page, 3 send e-mail, 4 about, 5 preview,
// 6 save as, 7 save attachments, 8 properties, 9 structure / file tree, 10 reply, 11 forward,
// 12 transport header, 13 flags / options.
QIcon MenuIcon(int index);
// Attachments and body tabs: 0 file, 1 embedded message, 2 OLE object, 3 plain text, 4 rich text, 5 HTML.
QIcon AttachmentIcon(int index);
// Storage, workspace and file trees: 0 storage, 1 stream / folder, 2 lock bytes, 3 property, 4 openable file,
// 5 drive, 6 other file, 7 favorites, 8 opened files.
QIcon StorageIcon(int index);
// An element of a compound file by its kind (1 storage, 2 stream, 3 lock bytes, 4 property). A stream has a
// picture of its own here, where the file trees show a folder.
QIcon StructureIcon(uint32_t elementType);
// Property tree: 0 envelope, 1 property in an envelope, 2 recipient, 3 property of a recipient, 4 attachment,
// 5 property of an attachment, 6 property list, 7 address book, 8 non-transmittable, 9 message, 10 user
// property, 11 status.
QIcon PropertyIcon(int index);
// The product picture of the left pane and the about box.
QPixmap LogoPixmap(int size);

} // namespace quorra
