// Mail files opened for the TNEF message inside, and the one function that chooses the reader for a file.

#include "mime/mail_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>

#include "core/errors.h"
#include "core/stream.h"
#include "message_file.h"
#include "mime/header_words.h"
#include "mime/mbox.h"
#include "mime/mime_reader.h"
#include "mime/tnef_parts.h"
#include "mime/tnef_summary.h"
#include "model/tags.h"
#include "msg/msg_reader.h"
#include "storage/compound_file.h"
#include "text/codepage.h"
#include "text/mail_date.h"

namespace pelmsg {

namespace {

// Enough of a file to tell a mail by its header lines.
constexpr size_t kSniffBytes = 64 * 1024;

// The first bytes of a regular file (fewer when it is shorter); empty when it cannot be read.
std::string FileHead(const std::string& fileName, size_t count)
{
    std::string head;
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return head;
    struct stat st { };
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        head.resize(count);
        size_t got = 0;
        while (got < count) {
            const ssize_t n = ::read(fd, head.data() + got, count - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        head.resize(got);
    }
    ::close(fd);
    return head;
}

std::string FieldText(std::string_view mail, const TMimeEntity& entity, std::string_view name)
{
    const TMimeField* field = entity.Field(mail, name);
    return field ? DecodeHeaderText(field->Value.In(mail)) : std::string();
}

// How much of a single mail is read between two looks at a listing's control.
constexpr size_t kControlStepBytes = size_t { 4 } * 1024 * 1024;

// Notes the bytes of the stream read so far in the listing's control (if any); true when the listing was cancelled.
bool ListingStopped(TListControl* control, const TStream& stream)
{
    if (!control)
        return false;
    control->Read = stream.Position();
    return control->Cancelled;
}

// Walks the mails of a stream: one mail when it does not start with "From ", else the mails of the mbox. With a
// control, the walk notes its progress there and ends early once it is cancelled.
template <class Visit> void ForEachMail(TStream& stream, Visit visit, TListControl* control = nullptr)
{
    std::string head(5, '\0');
    head.resize(stream.Read(head.data(), head.size()));
    stream.Seek(0, TSeekOrigin::Beginning);
    if (control)
        control->Total = stream.Size();
    if (head != "From ") {
        if (stream.Size() > static_cast<int64_t>(TMboxReader::kMaxMailBytes))
            throw EFormatError("the mail is longer than " + std::to_string(TMboxReader::kMaxMailBytes) + " bytes");
        const auto size = static_cast<size_t>(std::max<int64_t>(stream.Size(), 0));
        std::string mail;
        if (!control)
            mail = stream.ReadString(size);
        else
            // In steps, so that a cancel is seen while a large mail is read.
            while (!ListingStopped(control, stream)) {
                const std::string step = stream.ReadString(std::min(size - mail.size(), kControlStepBytes));
                if (step.empty())
                    break;
                mail += step;
            }
        if (control && control->Cancelled)
            return;
        visit(size_t { 0 }, mail);
        return;
    }
    TMboxReader reader(stream);
    std::string fromLine, mail;
    for (size_t index = 0; !ListingStopped(control, stream) && reader.Next(fromLine, mail); ++index)
        if (!visit(index, mail))
            return;
    // The last mail counted as read.
    ListingStopped(control, stream);
}

void AddText(TPelMessage& message, uint16_t id, const std::string& utf8)
{
    TMSGProperty* node = message.Properties().Add();
    node->TagID = MakeTag(id, PT_UNICODE);
    node->Value = Utf8ToWide(utf8);
    node->DataSize = static_cast<uint32_t>(std::get<WideString>(node->Value).size() * 2 + 2);
}

TMailCandidate CandidateOf(const std::string& mail, const TTnefPart& part, size_t mailIndex, size_t partIndex)
{
    const std::string tnef = DecodedBody(mail, *part.Part);
    TTnefSummary summary = SummarizeTnef(tnef);
    // The mail's fields where the TNEF has none of its own, as FillFieldsFromMail does for the opened message.
    if (summary.Subject.empty())
        summary.Subject = FieldText(mail, *part.Message, "Subject");
    if (summary.From.empty())
        summary.From = FieldText(mail, *part.Message, "From");
    return { mailIndex, partIndex, std::move(summary.Subject), part.Name, tnef.size(), std::move(summary.From),
        std::move(summary.MessageClass) };
}

} // namespace

bool IsMailFile(const std::string& fileName) { return LooksLikeMail(FileHead(fileName, kSniffBytes)); }

void FillFieldsFromMail(TPelMessage& message, std::string_view mail, const TMimeEntity& enclosing)
{
    struct TTextField {
        bool Missing; // the message has none of its own
        const char* Field;
        uint16_t Id;
    };
    const TTextField fields[] = { { message.Subject().empty(), "Subject", kIdSubject },
        { message.From().empty(), "From", kIdSentRepresentingName }, { message.ToList().empty(), "To", kIdDisplayTo },
        { message.CcList().empty(), "Cc", kIdDisplayCc } };
    for (const TTextField& field : fields)
        if (field.Missing)
            if (std::string text = FieldText(mail, enclosing, field.Field); !text.empty())
                AddText(message, field.Id, text);
    if (message.Properties().SentDate() == 0) {
        const double date = ParseMailDate(Utf8ToWide(FieldText(mail, enclosing, "Date")));
        if (date != 0) {
            TMSGProperty* node = message.Properties().Add();
            node->TagID = MakeTag(kIdClientSubmitTime, PT_SYSTIME);
            node->Value = TDateTime { date };
            node->DataSize = 8;
        }
    }
}

std::vector<TMailCandidate> ListTnefCandidates(const std::string& fileName, TListControl* control)
{
    TFileStream file(fileName, TFileStream::Mode::OpenRead);
    std::vector<TMailCandidate> candidates;
    ForEachMail(
        file,
        [&](size_t index, const std::string& mail) {
            const TMimeDocument document = ReadMime(mail);
            const std::vector<TTnefPart> parts = FindTnefParts(mail, document);
            for (size_t i = 0; i < parts.size() && candidates.size() < kMaxTnefCandidates; ++i)
                candidates.push_back(CandidateOf(mail, parts[i], index, i));
            if (control)
                control->Found = candidates.size();
            return candidates.size() < kMaxTnefCandidates;
        },
        control);
    return candidates;
}

void TPelMailFile::LoadFromStream(TStream& stream)
{
    TPelMessage::LoadFromStream(stream);
    candidates_.clear();
    std::string chosenMail, firstMail;
    size_t mails = 0;
    WithMemoryError("read the mail", [&] {
        ForEachMail(stream, [&](size_t index, const std::string& mail) {
            ++mails;
            const TMimeDocument document = ReadMime(mail);
            const std::vector<TTnefPart> parts = FindTnefParts(mail, document);
            for (size_t i = 0; i < parts.size() && candidates_.size() < kMaxTnefCandidates; ++i) {
                if (candidates_.size() == candidate_)
                    chosenMail = mail;
                candidates_.push_back(CandidateOf(mail, parts[i], index, i));
            }
            if (index == 0)
                firstMail = mail;
            return candidates_.size() < kMaxTnefCandidates;
        });
    });
    if (candidates_.empty()) {
        const TMimeDocument document = ReadMime(firstMail);
        const std::string subject = FieldText(firstMail, document.Root, "Subject");
        if (mails > 1)
            throw EFormatError("None of the " + std::to_string(mails)
                + " mails of this mailbox holds a TNEF (winmail.dat) part.");
        throw EFormatError("This mail holds no TNEF (winmail.dat) part. Subject: "
            + (subject.empty() ? std::string("(none)") : "\"" + subject + "\"")
            + "; it holds: " + DescribeParts(firstMail, document) + ".");
    }
    if (candidate_ >= candidates_.size())
        throw EFormatError("The mail file holds " + std::to_string(candidates_.size()) + " TNEF parts; there is no "
            + std::to_string(candidate_ + 1) + "th.");
    const TMimeDocument document = ReadMime(chosenMail);
    const std::vector<TTnefPart> parts = FindTnefParts(chosenMail, document);
    const TTnefPart& part = parts.at(candidates_[candidate_].PartIndex);
    std::vector<TMailCandidate> found = std::move(candidates_);
    {
        TMemoryStream tnef(DecodedBody(chosenMail, *part.Part));
        TPelTNEFFile::LoadFromStream(tnef);
    }
    candidates_ = std::move(found);
    FillFieldsFromMail(*this, chosenMail, *part.Message);
}

std::unique_ptr<TPelMessage> CreateMessageForFile(const std::string& fileName)
{
    const std::string head = FileHead(fileName, kSniffBytes);
    if (HasTnefSignature(head))
        return std::make_unique<TPelTNEFFile>();
    if (head.size() >= 8 && HasCompoundFileSignature(std::string_view(head).substr(0, 8)))
        return std::make_unique<TPelMSGFile>();
    if (LooksLikeMail(head))
        return std::make_unique<TPelMailFile>();
    return std::make_unique<TPelTNEFFile>();
}

} // namespace pelmsg
