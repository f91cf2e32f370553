#pragma once

// What the message preview decides without widgets: the HTML it loads, which attachment an image refers to, what
// name an attachment is saved under, whether an attachment may be handed to the desktop, and what an attached
// OLE object is. Plain functions that tests call without a QApplication.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pelmsg.h"
#include "storage/ole_object.h"

namespace quorra {

// The HTML text the preview loads: an HTML body that declares no "charset=" and starts neither with "<html" nor
// with "<!DOCTYPE" (any case) is wrapped in a document that declares the message's charset; any other is kept.
std::u16string WrapHtmlForCharset(const std::string& charset, const std::u16string& html);

// The attachment an image source refers to, as an index for TMSGProperties::Attachments; -1 when none. "cid:X"
// (any case) looks for content id X (ATTACH_CONTENT_ID, else CONTENT_IDENTIFIER, trimmed, bare or in "<>");
// anything else for an attachment whose ATTACH_FILENAME equals or ends with it. With contentIdOrName set, a bare
// source is tried as a content id first and then as a file name (the form the preview's "cid:" handler sees).
int FindEmbeddedImage(const pelmsg::TMSGProperties& message, std::u16string_view source, bool contentIdOrName = false);

// The name the Save dialog proposes for an attachment: a file's own file name; for an attached message or OLE
// object its caption and ".msg" (unless it ends so already), with "/" and ":" made "_". The one rule for every
// place that saves an attachment.
std::string ProposedAttachmentName(pelmsg::TAttachmentKind kind, const std::string& caption, const std::string& fileName);

// Whether a file is of a kind the desktop would run rather than show: by name (".desktop", ".sh", ".exe", ".jar",
// ".py", ...; any case) or by content (ELF, "#!", a DOS/Windows program, "[Desktop Entry]"). Such attachments are
// never opened, only saved.
bool IsExecutableAttachment(std::string_view fileName, std::string_view firstBytes);

// What an attached OLE object is.
struct TOleObjectInfo {
    std::string ClassId; // "{...}", empty when the object has no storage
    std::string UserType; // "Microsoft Word Document", "Package", ... from "\1CompObj"
    std::string ProgId;
    uint64_t Size = 0; // bytes of the object's data
    std::optional<pelmsg::TOlePackage> Package; // the file of a Package object
};

// Describes the OLE object of an attachment node: its data (ATTACH_DATA_OBJ) as a compound file, possibly behind
// the 16-byte interface id a TNEF object starts with. Never raises: what cannot be read stays empty.
TOleObjectInfo DescribeOleObject(const pelmsg::TMSGProperty& attachment);

// A text from a message as the window shows it: each bidirectional formatting control (the embeddings, overrides
// and isolates, LRM, RLM, ALM) written as a visible mark ("[RLO]"), so that "invoice\u202Egnp.exe" cannot pass for
// "invoice...exe.png". Other text stays as it is.
std::u16string VisibleBidiControls(std::u16string_view text);
// The same, isolated (U+2068 ... U+2069) when it holds right-to-left letters, for a text from a message set into
// a sentence of the program's own (a message box, a title), which its direction must not reorder.
std::u16string IsolatedMessageText(std::u16string_view text);

} // namespace quorra
