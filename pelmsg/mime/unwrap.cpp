// Unwrapping TNEF parts: a list of edits (byte ranges and what replaces them) applied to the mail in one pass, so
// that every byte outside the replaced parts is copied as it was.

#include "mime/unwrap.h"

#include <algorithm>
#include <new>
#include <set>
#include <vector>

#include "core/errors.h"
#include "core/stream.h"
#include "export/eml_writer.h"
#include "mime/tnef_parts.h"
#include "model/message.h"
#include "text/ascii_case.h"
#include "text/codepage.h"
#include "text/header_encoding.h"

namespace pelmsg {

namespace {

struct TEdit {
    size_t Begin = 0;
    size_t End = 0; // Begin == End: an insertion
    std::string Text;
};

// CR LF line breaks (as the writer makes them) in the mail's own line ending.
std::string InLineEnding(std::string text, const std::string& lineEnding)
{
    if (lineEnding == "\r\n")
        return text;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    return out;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// Where fields go into an entity's header section: before its empty line, or, when it has none, before the body
// (an empty line then follows the inserted fields).
size_t HeaderInsertionPoint(const TMimeEntity& entity, bool& needsSeparator)
{
    needsSeparator = entity.Separator.Size() == 0;
    return needsSeparator ? entity.Body.Begin : entity.Separator.Begin;
}

} // namespace

std::string UnwrappedNote(const std::string& partName, int attachmentCount)
{
    std::string name = partName.empty() ? std::string("winmail.dat") : partName;
    std::string note = name + " (" + std::to_string(attachmentCount)
        + (attachmentCount == 1 ? " attachment)" : " attachments)");
    for (char c : note)
        if (static_cast<unsigned char>(c) >= 0x80)
            return EncodeHeaderText(note, "utf-8");
    return note;
}

TUnwrapResult UnwrapTnefParts(std::string_view mail, const TUnwrapOptions& options)
{
    TUnwrapResult result;
    if (mail.size() > options.MaxMailBytes) {
        result.Reason = "the mail is longer than " + std::to_string(options.MaxMailBytes) + " bytes";
        return result;
    }
    const TMimeDocument document = ReadMime(mail, options.Limits);
    if (!document.LimitsReached.empty()) {
        result.Reason = "the mail goes past a limit: " + document.LimitsReached.front();
        return result;
    }
    const std::vector<TTnefPart> parts = FindTnefParts(mail, document);
    if (parts.empty()) {
        result.Reason = "the mail holds no TNEF (winmail.dat) part";
        return result;
    }
    const std::string& eol = document.LineEnding;
    std::vector<TEdit> edits;
    std::set<const TMimeEntity*> subjectGiven;
    int index = 0;
    for (const TTnefPart& part : parts) {
        ++index;
        const TMimeEntity& entity = *part.Part;
        const std::string label = "part " + std::to_string(index) + " ("
            + (part.Name.empty() ? std::string("winmail.dat") : part.Name) + ")";
        TPelTNEFFile message;
        std::string entityText;
        try {
            TMemoryStream stream(DecodedBody(mail, entity));
            message.LoadFromStream(stream);
            if (!message.Warnings().empty()) {
                result.Reason = label + " is damaged: " + message.Warnings().front().Text;
                return result;
            }
            TMemoryStream out;
            WriteEmlContent(message.Properties(), out);
            entityText = out.TakeBytes();
        } catch (const EPelMsgError& e) {
            result.Reason = label + " cannot be read: " + e.what();
            return result;
        }
        const size_t split = entityText.find("\r\n\r\n");
        if (split == std::string::npos) {
            result.Reason = label + ": the mail form of its message has no header";
            return result;
        }
        std::string fields = entityText.substr(0, split + 2);
        fields += "X-Tessaly-Unwrapped: " + UnwrappedNote(part.Name, message.Properties().AttachmentCount())
            + "\r\n";
        const bool isMessage = &entity == part.Message;
        if (isMessage && !entity.Field(mail, "MIME-Version"))
            fields += "MIME-Version: 1.0\r\n";
        // A subject the mail lacks and the TNEF has (given once per message).
        std::string subjectField;
        if (!part.Message->Field(mail, "Subject") && !subjectGiven.count(part.Message)) {
            const std::string subject = WideToUtf8(message.Subject());
            if (!subject.empty()) {
                std::string safe;
                for (char c : subject)
                    safe += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
                subjectField = "Subject: " + EncodeHeaderText(safe, "utf-8") + "\r\n";
                subjectGiven.insert(part.Message);
            }
        }
        if (!subjectField.empty() && isMessage) {
            fields += subjectField;
            subjectField.clear();
        }
        if (!subjectField.empty()) {
            bool needsSeparator = false;
            const size_t at = HeaderInsertionPoint(*part.Message, needsSeparator);
            edits.push_back({ at, at, InLineEnding(subjectField + (needsSeparator ? "\r\n" : ""), eol) });
        }

        // The part's own Content-* fields go; the new content's fields take their place at the end of its header.
        for (const TMimeField& field : entity.Fields)
            if (StartsWithIgnoringCase(field.Name.In(mail), "Content-"))
                edits.push_back({ field.Whole.Begin, field.Whole.End, {} });
        bool needsSeparator = false;
        const size_t at = HeaderInsertionPoint(entity, needsSeparator);
        edits.push_back({ at, at, InLineEnding(fields + (needsSeparator ? "\r\n" : ""), eol) });
        edits.push_back({ entity.Body.Begin, entity.Body.End, InLineEnding(entityText.substr(split + 4), eol) });
    }
    // Insertions at a position go before a replacement starting there; ranges never overlap (fields lie before
    // their entity's empty line, bodies after it, parts after one another).
    std::stable_sort(edits.begin(), edits.end(), [](const TEdit& a, const TEdit& b) {
        if (a.Begin != b.Begin)
            return a.Begin < b.Begin;
        return (a.Begin == a.End) > (b.Begin == b.End);
    });
    size_t size = mail.size();
    for (const TEdit& edit : edits)
        size += edit.Text.size();
    result.Mail.reserve(size);
    size_t pos = 0;
    for (const TEdit& edit : edits) {
        if (edit.Begin < pos) {
            result.Reason = "the mail's parts overlap";
            result.Mail.clear();
            return result;
        }
        result.Mail.append(mail.substr(pos, edit.Begin - pos));
        result.Mail += edit.Text;
        pos = edit.End;
    }
    result.Mail.append(mail.substr(pos));
    result.Changed = true;
    result.PartsUnwrapped = index;
    return result;
}

} // namespace pelmsg
