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
#include "model/limits.h"
#include "model/message.h"
#include "model/tags.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_html.h"
#include "text/ascii_case.h"
#include "text/codepage.h"
#include "text/header_encoding.h"
#include "text/html_escape.h"
#include "tnef/tnef_reader.h"

namespace pelmsg {

namespace {

struct TEdit {
    size_t Begin = 0;
    size_t End = 0; // Begin == End: an insertion
    std::string Text;
    // Marks where a rewritten part starts (a zero-length edit) or ends (its body's replacement): where the
    // rewritten mail must hold an entity of exactly that extent.
    enum class TMark { None, PartBegin, PartEnd } Mark = TMark::None;
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

void Extents(const TMimeEntity& entity, std::set<std::pair<size_t, size_t>>& out)
{
    out.insert({ entity.Whole.Begin, entity.Whole.End });
    for (const TMimeEntity& child : entity.Children)
        Extents(child, out);
}

void Leaves(const TMimeEntity& entity, std::vector<const TMimeEntity*>& out)
{
    if ((entity.IsMultipart() || entity.IsMessage()) && !entity.Children.empty()) {
        for (const TMimeEntity& child : entity.Children)
            Leaves(child, out);
        return;
    }
    out.push_back(&entity);
}

// Whether the rewritten mail, read again, holds each rewritten part as one entity of the extent it was written
// with, and every part of the mail that was not TNEF, byte for byte and in order. Inserted text could break the
// structure around it (a body line that equals an enclosing boundary, a boundary of the new content that an
// enclosing multipart also uses); such a rewrite is not used.
bool KeepsOtherParts(std::string_view mail, const TMimeDocument& before, const std::vector<TTnefPart>& parts,
    std::string_view after, const std::vector<std::pair<size_t, size_t>>& rewritten, const TMimeLimits& limits)
{
    const TMimeDocument reread = ReadMime(after, limits);
    if (!reread.LimitsReached.empty())
        return false;
    std::set<std::pair<size_t, size_t>> extents;
    Extents(reread.Root, extents);
    for (const auto& extent : rewritten)
        if (!extents.count(extent))
            return false;
    std::vector<const TMimeEntity*> oldLeaves, newLeaves;
    Leaves(before.Root, oldLeaves);
    Leaves(reread.Root, newLeaves);
    size_t next = 0;
    for (const TMimeEntity* leaf : oldLeaves) {
        if (std::any_of(parts.begin(), parts.end(), [&](const TTnefPart& p) { return p.Part == leaf; }))
            continue;
        const std::string_view bytes = leaf->Whole.In(mail);
        while (next < newLeaves.size() && newLeaves[next]->Whole.In(after) != bytes)
            ++next;
        if (next == newLeaves.size())
            return false;
        ++next;
    }
    return true;
}

// A message whose only body is RTF (not HTML wrapped in RTF) gets its text as plain and HTML bodies: mail programs
// show a text/rtf part as an attachment, not as the mail's text. The RTF stays beside them.
void AddBodiesFromRtf(TPelMessage& message)
{
    TMSGProperties& properties = message.Properties();
    if (!properties.PlainBody().empty() || !properties.HtmlBody().empty())
        return;
    const WideString rtf = properties.RtfBody();
    if (rtf.empty() || !ExtractHtmlFromRtf(WideToUtf8(rtf)).empty())
        return;
    const std::string text = WideToUtf8(RtfDocumentText(ReadRtfDocument(std::u16string_view(rtf))));
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return;
    std::string plain, html = "<html><head><meta charset=\"utf-8\"></head><body>\r\n";
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line = std::string_view(text).substr(from, end - from);
        plain.append(line);
        plain += "\r\n";
        html += EscapeHtml(line, true) + "<br>\r\n";
        from = end + 1;
    }
    html += "</body></html>\r\n";
    TMSGProperty* body = properties.Add();
    body->TagID = MakeTag(kIdBody, PT_UNICODE);
    body->Value = Utf8ToWide(plain);
    TMSGProperty* htmlBody = properties.Add();
    htmlBody->TagID = MakeTag(kIdBodyHtml, PT_UNICODE);
    htmlBody->Value = Utf8ToWide(html);
}

} // namespace

std::string UnwrappedNote(const std::string& partName, int attachmentCount, int faultsReadPast)
{
    std::string name = partName.empty() ? std::string("winmail.dat") : partName;
    std::string note
        = name + " (" + std::to_string(attachmentCount) + (attachmentCount == 1 ? " attachment" : " attachments");
    if (faultsReadPast > 0)
        note += "; " + std::to_string(faultsReadPast) + (faultsReadPast == 1 ? " fault" : " faults") + " read past";
    note += ")";
    for (char c : note)
        if (static_cast<unsigned char>(c) >= 0x80)
            return EncodeHeaderText(note, "utf-8");
    return note;
}

bool IsMinorTnefDamage(std::string_view warning)
{
    // The texts the TNEF reader gives these; an attached message's warnings carry a prefix.
    constexpr std::string_view kAttached = "attached message: ";
    while (warning.substr(0, kAttached.size()) == kAttached)
        warning.remove_prefix(kAttached.size());
    for (const std::string_view minor : { std::string_view("checksum mismatch in attribute "),
             std::string_view("unknown TNEF version "), std::string_view("message attributes not read: ") })
        if (warning.substr(0, minor.size()) == minor)
            return true;
    return false;
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
    std::vector<std::string> notes;
    int index = 0;
    for (const TTnefPart& part : parts) {
        ++index;
        const TMimeEntity& entity = *part.Part;
        const std::string label = "part " + std::to_string(index) + " ("
            + (part.Name.empty() ? std::string("winmail.dat") : part.Name) + ")";
        TPelTNEFFile message;
        std::string entityText;
        int faults = 0;
        try {
            TMemoryStream stream(DecodedBody(mail, entity));
            message.LoadFromStream(stream);
            // Content lost to damage keeps the mail as it is (the TNEF still holds what a better reader may find);
            // damage that lost nothing does not stand in the way of the rewrite.
            for (const TReadWarning& warning : message.Warnings())
                if (!IsMinorTnefDamage(warning.Text)) {
                    result.Reason = label + " is damaged: " + warning.Text;
                    return result;
                }
            faults = static_cast<int>(message.Warnings().size());
            for (const TReadWarning& warning : message.Warnings())
                notes.push_back(label + ": " + warning.Text);
            AddBodiesFromRtf(message);
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
        fields += "X-Tessaly-Unwrapped: " + UnwrappedNote(part.Name, message.Properties().AttachmentCount(), faults)
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

        edits.push_back({ entity.Whole.Begin, entity.Whole.Begin, {}, TEdit::TMark::PartBegin });
        // The part's own Content-* fields go; the new content's fields take their place at the end of its header.
        for (const TMimeField& field : entity.Fields)
            if (StartsWithIgnoringCase(field.Name.In(mail), "Content-"))
                edits.push_back({ field.Whole.Begin, field.Whole.End, {} });
        bool needsSeparator = false;
        const size_t at = HeaderInsertionPoint(entity, needsSeparator);
        edits.push_back({ at, at, InLineEnding(fields + (needsSeparator ? "\r\n" : ""), eol) });
        edits.push_back({ entity.Body.Begin, entity.Body.End, InLineEnding(entityText.substr(split + 4), eol),
            TEdit::TMark::PartEnd });
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
    std::vector<std::pair<size_t, size_t>> rewritten;
    for (const TEdit& edit : edits) {
        if (edit.Begin < pos) {
            result.Reason = "the mail's parts overlap";
            result.Mail.clear();
            return result;
        }
        result.Mail.append(mail.substr(pos, edit.Begin - pos));
        if (edit.Mark == TEdit::TMark::PartBegin)
            rewritten.push_back({ result.Mail.size(), 0 });
        result.Mail += edit.Text;
        if (edit.Mark == TEdit::TMark::PartEnd && !rewritten.empty())
            rewritten.back().second = result.Mail.size();
        pos = edit.End;
    }
    result.Mail.append(mail.substr(pos));
    // The rewritten mail is read with room for the entities the TNEF parts became.
    TMimeLimits rereadLimits = options.Limits;
    rereadLimits.MaxDepth += kMaxAttachedMessageDepth * 2 + 4;
    rereadLimits.MaxEntities += static_cast<size_t>(index) * 4096;
    if (!KeepsOtherParts(mail, document, parts, result.Mail, rewritten, rereadLimits)) {
        result.Mail.clear();
        result.Reason = "the unwrapped content would change the structure of the mail around it";
        return result;
    }
    result.Changed = true;
    result.PartsUnwrapped = index;
    result.Notes = std::move(notes);
    return result;
}

} // namespace pelmsg
