// TNEF parts are known by their content: mail programs label them application/ms-tnef, application/vnd.ms-tnef
// or application/octet-stream, and some label other content (pictures, text) as TNEF.

#include "mime/tnef_parts.h"

#include "mime/header_words.h"
#include "mime/transfer_encoding.h"

namespace pelmsg {

namespace {

void Collect(std::string_view mail, const TMimeEntity& entity, const TMimeEntity& message,
    std::vector<TTnefPart>& parts)
{
    if (entity.IsMultipart() && !entity.Children.empty()) {
        for (const TMimeEntity& child : entity.Children)
            Collect(mail, child, message, parts);
        return;
    }
    if (entity.IsMessage() && !entity.Children.empty()) {
        Collect(mail, entity.Children.front(), entity.Children.front(), parts);
        return;
    }
    if (entity.Body.Size() == 0)
        return;
    // Twelve base64 characters give the nine bytes the signature needs; skipped blanks and line breaks aside,
    // a short prefix of the body is enough.
    if (!HasTnefSignature(DecodedBody(mail, entity, 4)))
        return;
    parts.push_back({ &entity, &message, PartFileName(mail, entity) });
}

void Describe(std::string_view mail, const TMimeEntity& entity, std::string& out)
{
    if ((entity.IsMultipart() || entity.IsMessage()) && !entity.Children.empty()) {
        for (const TMimeEntity& child : entity.Children)
            Describe(mail, child, out);
        return;
    }
    if (!out.empty())
        out += ", ";
    out += entity.Type + "/" + entity.Subtype;
    if (std::string name = PartFileName(mail, entity); !name.empty())
        out += " \"" + name + "\"";
}

} // namespace

bool HasTnefSignature(std::string_view bytes)
{
    return bytes.size() >= 4 && bytes.substr(0, 4) == std::string_view("\x78\x9F\x3E\x22", 4);
}

std::string DecodedBody(std::string_view mail, const TMimeEntity& part, size_t maxBytes)
{
    // A prefix of a base64 body needs only a prefix of the text: four characters give three bytes, and lines
    // hold at most some hundred characters of which a few may be blanks.
    std::string_view body = part.Body.In(mail);
    if (maxBytes != std::string::npos && maxBytes < body.size() / 4)
        body = body.substr(0, maxBytes * 2 + 1024);
    return DecodeTransfer(part.TransferEncoding, body, maxBytes);
}

std::string PartFileName(std::string_view mail, const TMimeEntity& part)
{
    std::string name;
    if (const TMimeField* field = part.Field(mail, "Content-Disposition")) {
        const TContentType disposition = ParseContentType(field->Value.In(mail));
        for (const auto& [key, value] : disposition.Parameters)
            if (key == "filename")
                name = value;
    }
    if (name.empty())
        name = part.Parameter("name");
    std::string safe;
    for (char c : name)
        safe += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    return safe.substr(0, 255);
}

std::vector<TTnefPart> FindTnefParts(std::string_view mail, const TMimeDocument& document)
{
    std::vector<TTnefPart> parts;
    Collect(mail, document.Root, document.Root, parts);
    return parts;
}

std::string DescribeParts(std::string_view mail, const TMimeDocument& document)
{
    std::string out;
    Describe(mail, document.Root, out);
    return out;
}

} // namespace pelmsg
