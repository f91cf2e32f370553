// The mail reader: one pass over the lines, a stack of open multipart boundaries looked up by hash, entities that
// keep the byte ranges of what they were read from.

#include "mime/mime_reader.h"

#include <cstring>
#include <deque>
#include <unordered_map>

#include "mime/header_words.h"
#include "text/ascii_case.h"

namespace pelmsg {

std::string TMimeEntity::Parameter(std::string_view name) const
{
    for (const auto& [key, value] : Parameters)
        if (key == name)
            return value;
    return {};
}

const TMimeField* TMimeEntity::Field(std::string_view mail, std::string_view name) const
{
    for (const TMimeField& field : Fields)
        if (EqualsIgnoringAsciiCase(field.Name.In(mail), name))
            return &field;
    return nullptr;
}

namespace {

// A boundary longer than this (RFC 2046 allows 70) is not looked for: delimiter lines stay cheap to recognise.
constexpr size_t kMaxBoundaryLength = 200;

struct TLine {
    size_t Begin = 0;
    size_t ContentEnd = 0; // before the line ending
    size_t End = 0;        // after the line ending
};

enum class TMark { None, Open, Close };

struct TMatch {
    TMark Mark = TMark::None;
    int Level = -1;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

class TReader {
public:
    TReader(std::string_view mail, const TMimeLimits& limits, TMimeDocument& document)
        : mail_(mail)
        , limits_(limits)
        , document_(document)
    {
    }

    void Read()
    {
        const TLine first = LineAt(0);
        document_.LineEnding = first.End == first.ContentEnd + 1 ? "\n" : "\r\n";
        document_.Root = ParseEntity(0, 0, true, false);
    }

private:
    TLine LineAt(size_t pos)
    {
        ++document_.LinesRead;
        TLine line;
        line.Begin = pos;
        if (pos >= mail_.size()) {
            line.ContentEnd = line.End = mail_.size();
            return line;
        }
        const void* nl = std::memchr(mail_.data() + pos, '\n', mail_.size() - pos);
        if (!nl) {
            line.ContentEnd = line.End = mail_.size();
            return line;
        }
        const size_t at = static_cast<size_t>(static_cast<const char*>(nl) - mail_.data());
        line.End = at + 1;
        line.ContentEnd = at > pos && mail_[at - 1] == '\r' ? at - 1 : at;
        return line;
    }

    // Whether the line is a delimiter line of an open multipart: "--boundary" (opening a part) or "--boundary--"
    // (closing), with blanks before and after tolerated; the innermost multipart of that boundary wins.
    TMatch Classify(const TLine& line) const
    {
        if (open_.empty())
            return {};
        size_t from = line.Begin, to = line.ContentEnd;
        while (from < to && IsBlank(mail_[from]))
            ++from;
        if (to - from < 2 || mail_[from] != '-' || mail_[from + 1] != '-')
            return {};
        from += 2;
        if (to - from > kMaxBoundaryLength + 2 + 64) {
            // Only blanks after the boundary could make such a line a delimiter.
            while (to > from && IsBlank(mail_[to - 1]) && to - from > kMaxBoundaryLength + 2)
                --to;
            if (to - from > kMaxBoundaryLength + 2)
                return {};
        }
        while (to > from && IsBlank(mail_[to - 1]))
            --to;
        const std::string_view candidate = mail_.substr(from, to - from);
        if (auto it = open_.find(candidate); it != open_.end())
            return { TMark::Open, it->second };
        if (candidate.size() >= 2 && candidate.substr(candidate.size() - 2) == "--")
            if (auto it = open_.find(candidate.substr(0, candidate.size() - 2)); it != open_.end())
                return { TMark::Close, it->second };
        return {};
    }

    void Limit(bool& said, const std::string& text)
    {
        if (!said)
            document_.LimitsReached.push_back(text);
        said = true;
    }

    // Where the content before a delimiter line ends: the line break before the line belongs to the delimiter.
    size_t ContentEndBefore(size_t delimiter, size_t floor) const
    {
        if (delimiter >= mail_.size())
            return mail_.size();
        size_t end = delimiter;
        if (end > floor && mail_[end - 1] == '\n') {
            --end;
            if (end > floor && mail_[end - 1] == '\r')
                --end;
        }
        return end;
    }

    // Scans lines from pos to the next delimiter line of any open multipart (stop_, stopMatch_), or the end.
    void ScanToDelimiter(size_t pos)
    {
        while (pos < mail_.size()) {
            const TLine line = LineAt(pos);
            const TMatch match = Classify(line);
            if (match.Mark != TMark::None) {
                stop_ = line.Begin;
                stopLine_ = line;
                stopMatch_ = match;
                return;
            }
            pos = line.End;
        }
        stop_ = mail_.size();
        stopMatch_ = {};
    }

    size_t ReadHeader(TMimeEntity& entity, size_t pos, bool topLevel)
    {
        bool first = true;
        entity.Header.Begin = pos;
        while (pos < mail_.size()) {
            const TLine line = LineAt(pos);
            if (line.ContentEnd == line.Begin) {
                entity.Header.End = line.Begin;
                entity.Separator = { line.Begin, line.End };
                return line.End;
            }
            if (const TMatch match = Classify(line); match.Mark != TMark::None) {
                // A delimiter where the header should go on: the part has no body.
                entity.Header.End = line.Begin;
                stop_ = line.Begin;
                stopLine_ = line;
                stopMatch_ = match;
                return std::string_view::npos;
            }
            const std::string_view text = mail_.substr(line.Begin, line.ContentEnd - line.Begin);
            const bool mboxLine = topLevel && first && text.substr(0, 5) == "From ";
            first = false;
            const bool overSize = line.End - entity.Header.Begin > limits_.MaxHeaderBytes;
            if (overSize)
                Limit(saidHeaderSize_,
                    "a header section is longer than " + std::to_string(limits_.MaxHeaderBytes) + " bytes");
            if (mboxLine) {
                // The mbox separator line of a mail saved from a mailbox: no field.
            } else if (IsBlank(text[0])) {
                if (!entity.Fields.empty() && !overSize && entity.Fields.back().Whole.End == line.Begin) {
                    entity.Fields.back().Whole.End = line.End;
                    entity.Fields.back().Value.End = line.ContentEnd;
                }
            } else {
                size_t colon = text.find(':');
                size_t nameEnd = colon;
                while (nameEnd != std::string_view::npos && nameEnd > 0 && IsBlank(text[nameEnd - 1]))
                    --nameEnd;
                bool isField = colon != std::string_view::npos && nameEnd > 0;
                for (size_t i = 0; isField && i < nameEnd; ++i)
                    isField = static_cast<unsigned char>(text[i]) > 0x20 && text[i] != 0x7F;
                if (!isField) {
                    // Not a field: the header section ended without its empty line; the body starts here.
                    entity.Header.End = line.Begin;
                    return line.Begin;
                }
                if (entity.Fields.size() >= limits_.MaxFields) {
                    Limit(saidFields_, "a header section has more than " + std::to_string(limits_.MaxFields)
                            + " fields");
                } else if (!overSize) {
                    TMimeField field;
                    field.Name = { line.Begin, line.Begin + nameEnd };
                    field.Value = { line.Begin + colon + 1, line.ContentEnd };
                    field.Whole = { line.Begin, line.End };
                    entity.Fields.push_back(field);
                }
            }
            pos = line.End;
        }
        entity.Header.End = mail_.size();
        return mail_.size();
    }

    void ReadContentFields(TMimeEntity& entity, bool inDigest) const
    {
        if (inDigest) {
            entity.Type = "message";
            entity.Subtype = "rfc822";
        }
        if (const TMimeField* field = entity.Field(mail_, "Content-Type")) {
            TContentType type = ParseContentType(field->Value.In(mail_));
            if (!type.Type.empty() && !type.Subtype.empty()) {
                entity.Type = std::move(type.Type);
                entity.Subtype = std::move(type.Subtype);
            }
            entity.Parameters = std::move(type.Parameters);
        }
        if (const TMimeField* field = entity.Field(mail_, "Content-Transfer-Encoding")) {
            std::string_view value = field->Value.In(mail_);
            while (!value.empty() && static_cast<unsigned char>(value.front()) <= 0x20)
                value.remove_prefix(1);
            while (!value.empty() && static_cast<unsigned char>(value.back()) <= 0x20)
                value.remove_suffix(1);
            entity.TransferEncoding = LowerAscii(value.substr(0, 64));
        }
    }

    TMimeEntity ParseEntity(size_t pos, int depth, bool topLevel, bool inDigest)
    {
        ++document_.EntityCount;
        TMimeEntity entity;
        entity.Depth = depth;
        entity.Whole.Begin = pos;
        const size_t bodyStart = ReadHeader(entity, pos, topLevel);
        ReadContentFields(entity, inDigest);
        if (bodyStart == std::string_view::npos) {
            entity.Body = { entity.Header.End, entity.Header.End };
            entity.Whole.End = std::max(entity.Whole.Begin, ContentEndBefore(stop_, entity.Whole.Begin));
            entity.Header.End = std::min(entity.Header.End, entity.Whole.End);
            entity.Body = { entity.Whole.End, entity.Whole.End };
            // The last field's line break belongs to the delimiter after it.
            for (TMimeField& field : entity.Fields) {
                field.Whole.End = std::min(field.Whole.End, entity.Header.End);
                field.Value.End = std::min(field.Value.End, field.Whole.End);
            }
            return entity;
        }
        entity.Body.Begin = bodyStart;
        const std::string boundary = entity.IsMultipart() ? entity.Parameter("boundary") : std::string();
        const bool nests = (entity.IsMultipart() && !boundary.empty() && boundary.size() <= kMaxBoundaryLength)
            || (entity.IsMessage() && entity.TransferEncoding != "base64"
                && entity.TransferEncoding != "quoted-printable");
        if (nests && depth >= limits_.MaxDepth) {
            Limit(saidDepth_, "entities are nested deeper than " + std::to_string(limits_.MaxDepth));
            ScanToDelimiter(bodyStart);
        } else if (nests && entity.IsMultipart()) {
            ReadMultipart(entity, boundary, bodyStart, depth);
        } else if (nests && document_.EntityCount >= limits_.MaxEntities) {
            Limit(saidEntities_, "the mail has more than " + std::to_string(limits_.MaxEntities) + " parts");
            ScanToDelimiter(bodyStart);
        } else if (nests) {
            entity.Children.push_back(ParseEntity(bodyStart, depth + 1, false, false));
        } else {
            ScanToDelimiter(bodyStart);
        }
        entity.Body.End = std::max(bodyStart, ContentEndBefore(stop_, bodyStart));
        // A delimiter right after the empty line that ends the header takes that line's break, as it does after any
        // content: the entity (its header, an empty body) ends before it, inside the enclosing multipart's part.
        if (const size_t end = ContentEndBefore(stop_, entity.Whole.Begin); end < bodyStart) {
            entity.Header.End = std::min(entity.Header.End, end);
            entity.Body = { end, end };
        }
        entity.Whole.End = entity.Body.End;
        return entity;
    }

    void ReadMultipart(TMimeEntity& entity, const std::string& boundary, size_t bodyStart, int depth)
    {
        boundaries_.push_back(boundary);
        const std::string_view key = boundaries_.back();
        const int level = static_cast<int>(boundaries_.size());
        auto previous = open_.find(key);
        const int shadowed = previous == open_.end() ? -1 : previous->second;
        open_[key] = level;
        auto close = [&] {
            if (shadowed < 0)
                open_.erase(key);
            else
                open_[key] = shadowed;
            boundaries_.pop_back();
        };

        ScanToDelimiter(bodyStart);
        entity.Preamble = { bodyStart, std::max(bodyStart, ContentEndBefore(stop_, bodyStart)) };
        bool closed = false;
        while (stopMatch_.Mark != TMark::None && stopMatch_.Level == level && stop_ < mail_.size()) {
            if (stopMatch_.Mark == TMark::Close) {
                closed = true;
                break;
            }
            const size_t partStart = stopLine_.End;
            if (document_.EntityCount >= limits_.MaxEntities) {
                Limit(saidEntities_, "the mail has more than " + std::to_string(limits_.MaxEntities) + " parts");
                ScanToDelimiter(partStart);
            } else {
                entity.Children.push_back(
                    ParseEntity(partStart, depth + 1, false, entity.Subtype == "digest"));
            }
            if (partStart >= mail_.size() && stop_ >= mail_.size())
                break;
        }
        const TLine closing = stopLine_;
        close();
        if (!closed) {
            entity.ClosingDelimiterMissing = true;
            return; // stop_ is the end of the mail or an enclosing multipart's delimiter
        }
        // The epilogue runs to an enclosing multipart's delimiter, or to the end.
        ScanToDelimiter(closing.End);
        entity.Epilogue = { std::min(closing.End, mail_.size()), std::max(closing.End, ContentEndBefore(stop_, closing.End)) };
    }

    std::string_view mail_;
    const TMimeLimits& limits_;
    TMimeDocument& document_;
    std::deque<std::string> boundaries_;
    std::unordered_map<std::string_view, int> open_;
    size_t stop_ = 0;
    TLine stopLine_;
    TMatch stopMatch_;
    bool saidDepth_ = false, saidEntities_ = false, saidHeaderSize_ = false, saidFields_ = false;
};

} // namespace

TMimeDocument ReadMime(std::string_view mail, const TMimeLimits& limits)
{
    TMimeDocument document;
    TReader(mail, limits, document).Read();
    return document;
}

bool LooksLikeMail(std::string_view head)
{
    if (head.substr(0, 5) == "From ")
        return true;
    // Header fields up to the first empty line (within the head); one of them a field every mail carries.
    static constexpr std::string_view kKnown[] = { "from", "to", "subject", "date", "received", "return-path",
        "message-id", "mime-version", "content-type", "delivered-to", "reply-to", "sender", "cc" };
    size_t pos = 0, fields = 0;
    bool known = false;
    while (pos < head.size()) {
        size_t end = head.find('\n', pos);
        if (end == std::string_view::npos)
            end = head.size();
        std::string_view line = head.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            break;
        if (IsBlank(line[0])) {
            if (fields == 0)
                return false;
        } else {
            const size_t colon = line.find(':');
            if (colon == std::string_view::npos || colon == 0)
                return false;
            for (size_t i = 0; i < colon; ++i) {
                const auto c = static_cast<unsigned char>(line[i]);
                if (c <= 0x20 || c >= 0x7F)
                    return false;
            }
            ++fields;
            for (std::string_view name : kKnown)
                known = known || EqualsIgnoringAsciiCase(line.substr(0, colon), name);
        }
        pos = end + 1;
    }
    return fields > 0 && known;
}

} // namespace pelmsg
