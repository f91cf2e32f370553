#include "icons.h"

#include <iterator>

#include "pelmsg.h"

// The icons are compiled into the program's library; a static library's resources must be registered by hand.
static void RegisterIconResources() { Q_INIT_RESOURCE(icons); }

namespace quorra {

namespace {

void EnsureResources()
{
    static const bool registered = (RegisterIconResources(), true);
    (void)registered;
}

QIcon FromList(const char* const* names, int count, int index)
{
    EnsureResources();
    if (index < 0 || index >= count || !names[index])
        return QIcon();
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(names[index]) + QStringLiteral(".svg"));
}

} // namespace

QIcon MenuIcon(int index)
{
    static const char* const names[] = { "open", "exit", "homepage", "send-mail", "about", "preview", "save-as",
        "save-attachments", "properties", "structure", "reply", "forward", "transport-header", "flags" };
    return FromList(names, int(std::size(names)), index);
}

QIcon AttachmentIcon(int index)
{
    static const char* const names[] = { "attach-file", "attach-message", "attach-ole", "body-text", "body-rtf",
        "body-html" };
    return FromList(names, int(std::size(names)), index);
}

TAttachmentIcon AttachmentIconOf(pelmsg::TAttachmentKind kind)
{
    switch (kind) {
    case pelmsg::TAttachmentKind::EmbeddedMessage:
        return TAttachmentIcon::Message;
    case pelmsg::TAttachmentKind::OleObject:
        return TAttachmentIcon::OleObject;
    case pelmsg::TAttachmentKind::None:
    case pelmsg::TAttachmentKind::FileData:
        break;
    }
    return TAttachmentIcon::File;
}

QIcon AttachmentIcon(TAttachmentIcon icon)
{
    return AttachmentIcon(icon == TAttachmentIcon::Missing ? 0 : static_cast<int>(icon));
}

QIcon StorageIcon(int index)
{
    static const char* const names[] = { "storage", "folder", "lock-bytes", "property", "file-message", "drive",
        "file-other", "favorites", "opened-files" };
    return FromList(names, int(std::size(names)), index);
}

QIcon StructureIcon(uint32_t elementType)
{
    if (elementType == 2) {
        EnsureResources();
        return QIcon(QStringLiteral(":/icons/stream.svg"));
    }
    return elementType >= 1 && elementType <= 4 ? StorageIcon(int(elementType) - 1) : QIcon();
}

QIcon PropertyIcon(int index)
{
    static const char* const names[] = { "prop-envelope", "prop-envelope-item", "prop-recipient",
        "prop-recipient-item", "prop-attachment", "prop-attachment-item", "prop-list", "prop-address-book",
        "prop-non-transmittable", "prop-message", "prop-user", "prop-status" };
    return FromList(names, int(std::size(names)), index);
}

QPixmap LogoPixmap(int size)
{
    EnsureResources();
    return QIcon(QStringLiteral(":/icons/logo.svg")).pixmap(size, size);
}

} // namespace quorra
