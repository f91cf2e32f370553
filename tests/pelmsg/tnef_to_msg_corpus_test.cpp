// TNEF messages (the bundled sample and the corpus) saved as .msg: every written file opens in olefile, converts
// with msgconvert to an .eml that carries the message's headers, body and attachments, and reads back with our
// .msg reader with the accessor results the TNEF tree had. Skipped when the corpus or a tool is absent.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <strings.h>

#include "cfb_builder.h"
#include "mini_json.h"
#include "pelmsg.h"
#include "sha256.h"
#include "storage/storage.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::string Tool(const std::string& name) { return std::string(TESSALY_SOURCE_DIR) + "/tests/pelmsg/tools/" + name; }

bool Succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Output(const std::string& command, int* status = nullptr)
{
    CommandResult r = RunCommand(command);
    if (status)
        *status = r.ExitCode;
    return r.Output;
}

std::vector<std::filesystem::path> TnefFiles()
{
    std::vector<std::filesystem::path> files { std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat" };
    if (CorpusAvailable())
        for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("tnef")))
            files.push_back(entry.path());
    std::sort(files.begin() + 1, files.end());
    return files;
}

// Every TNEF file that loads, by name (the TNEF corpus test says which files do not, and why).
std::vector<std::pair<std::string, std::unique_ptr<TPelTNEFFile>>> LoadedTnefFiles()
{
    std::vector<std::pair<std::string, std::unique_ptr<TPelTNEFFile>>> loaded;
    for (const auto& file : TnefFiles()) {
        auto tnef = std::make_unique<TPelTNEFFile>();
        try {
            tnef->LoadFromFile(file.string());
        } catch (const EPelMsgError&) {
            continue;
        }
        loaded.emplace_back(file.filename().string(), std::move(tnef));
    }
    return loaded;
}

// The elements of a compound-file image by path, each stream by its SHA-256.
std::map<std::string, std::string> ImageListing(const std::string& image)
{
    std::map<std::string, std::string> out;
    if (!StgIsStorageMemory(image))
        return out;
    auto storage = StgOpenStorageOnMemory(image);
    for (const auto& [path, element] : ListElements(*storage))
        out[U8(path)] = element.IsStorage ? "storage" : Sha256Hex(element.Bytes);
    return out;
}

std::string AttachmentBytes(const TMSGProperties& message, int index)
{
    TMemoryStream data;
    SaveAttachment(message, index, &data);
    return data.TakeBytes();
}

// Line ends and the white space at the end differ between a body as stored and as a MIME part carries it.
std::string NormalisedBody(std::string text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ' || out.back() == '\0' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// Whether text that msgconvert wrote equals ours, where msgconvert puts 8-bit header text out as the raw bytes
// of its code page, without a charset, so that each non-ASCII character arrives as U+FFFD.
bool SameHeaderText(const std::string& eml, const std::string& ours)
{
    if (eml == ours)
        return true;
    WideString a = Utf8ToWide(eml), b = Utf8ToWide(ours);
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && !(a[i] == u'\uFFFD' && b[i] > 0x7F))
            return false;
    return true;
}

// A header as msgconvert writes it from the .msg: the value of that header in the transport headers when they
// hold it, else nothing (the caller then builds it from the properties msgconvert reads).
std::string TransportHeader(const std::string& headers, const std::string& name)
{
    std::string value;
    bool in = false;
    size_t pos = 0;
    while (pos < headers.size()) {
        size_t end = headers.find('\n', pos);
        if (end == std::string::npos)
            end = headers.size();
        std::string line = headers.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        pos = end + 1;
        if (in && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            value += line;
            continue;
        }
        if (in)
            break;
        if (line.size() > name.size() && line[name.size()] == ':'
            && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
            in = true;
            value = line.substr(name.size() + 1);
        }
    }
    return value;
}

// The addresses of a header (between angle brackets, or bare), in lower case.
std::set<std::string> Addresses(const std::string& header)
{
    std::set<std::string> out;
    size_t start = 0;
    while (start <= header.size()) {
        size_t end = header.find_first_of(",;", start);
        if (end == std::string::npos)
            end = header.size();
        std::string part = header.substr(start, end - start);
        start = end + 1;
        size_t open = part.find('<'), close = part.rfind('>');
        if (open != std::string::npos && close != std::string::npos && close > open)
            part = part.substr(open + 1, close - open - 1);
        else if (part.find('@') == std::string::npos)
            continue;
        part.erase(0, part.find_first_not_of(" \t"));
        part.erase(part.find_last_not_of(" \t") + 1);
        for (char& c : part)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out.insert(part);
    }
    return out;
}

// The names of an address list without quotes, addresses and blanks, separated by commas.
std::string Names(const std::string& list)
{
    std::string out;
    bool inAddress = false;
    for (char c : list) {
        if (c == '<')
            inAddress = true;
        else if (c == '>')
            inAddress = false;
        else if (!inAddress && c != '"' && c != ' ' && c != '\t')
            out += c == ';' ? ',' : c;
    }
    return out;
}

std::string Text(const TMSGProperties& message, uint16_t identifier)
{
    WideString text = message.GetPropertyText(static_cast<uint32_t>(identifier) << 16, true, false);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return U8(text);
}

// Files whose .eml does not carry what the TNEF tree has, and why.
const std::map<std::string, std::string> kEmlDifferences = {
    { "uponus-tnef__signed.tnef",
        "the attachment's MIME type is multipart/signed: msgconvert puts its data in as a MIME entity of the .eml, "
        "not as attachment bytes" },
};

// The display list of a recipient type (1 To, 2 Cc) as the .msg carries it: the message's own, else the names of
// its recipient rows of that type, which the writer puts in when a TNEF stream left the list out.
std::string DisplayList(const TMSGProperties& message, uint16_t identifier, int type)
{
    std::string own = U8(message.GetPropertyText(MakeTag(identifier, 0), true, false));
    if (!own.empty())
        return own;
    std::string names;
    for (const TMSGProperty* row : message) {
        if (row->TagID != 0x0C000000)
            continue;
        const TMSGProperty* kind = row->SubProperties.FindProperty(0x0C150003, false, false);
        if ((kind ? (ValueAsInteger(kind->Value) & 0x0F) : 1) != type)
            continue;
        std::string name = U8(row->SubProperties.GetPropertyText(0x30010000, true, false));
        if (name.empty())
            continue;
        names += (names.empty() ? "" : "; ") + name;
    }
    return names;
}

} // namespace

TEST(TnefToMsg, WrittenMessagesReadBackWithTheSameFields)
{
    TempDir dir;
    int written = 0;
    for (const auto& [name, tnef] : LoadedTnefFiles()) {
        SCOPED_TRACE(name);
        const TMSGProperties& a = tnef->Properties();
        const std::string out = dir.File(name + ".msg");
        ASSERT_NO_THROW(SaveToMSGFile(a, out, true));
        ++written;
        TPelMSGFile msg;
        ASSERT_NO_THROW(msg.LoadFromFile(out));
        const TMSGProperties& b = msg.Properties();
        EXPECT_EQ(U8(b.Subject()), U8(a.Subject()));
        EXPECT_EQ(U8(b.From()), U8(a.From()));
        // Without a display list of its own, the .msg has the one made from the recipients, if any.
        std::string to = DisplayList(a, 0x0E04, 1);
        std::string cc = DisplayList(a, 0x0E03, 2);
        EXPECT_EQ(U8(b.ToList()), to.empty() ? U8(a.ToList()) : U8(a.ResolveRecipientList(W(to))));
        EXPECT_EQ(U8(b.CcList()), cc.empty() ? U8(a.CcList()) : U8(a.ResolveRecipientList(W(cc))));
        EXPECT_TRUE(b.PlainBody() == a.PlainBody()) << "plain body";
        EXPECT_TRUE(b.HtmlBody() == a.HtmlBody()) << "HTML body";
        EXPECT_EQ(b.SentDate(), a.SentDate());
        ASSERT_EQ(b.AttachmentCount(), a.AttachmentCount());
        for (int i = 0; i < a.AttachmentCount(); ++i) {
            const TMSGProperty* x = a.Attachments(i);
            const TMSGProperty* y = b.Attachments(i);
            EXPECT_EQ(y->AttachmentFileName(i), x->AttachmentFileName(i));
            EXPECT_EQ(y->AttachmentKind(), x->AttachmentKind()) << "attachment " << i;
            if (x->AttachmentKind() == TAttachmentKind::EmbeddedMessage) {
                const TMSGProperty* inner = y->AttachmentDataNode();
                ASSERT_TRUE(inner);
                EXPECT_FALSE(inner->SubProperties.Empty()) << "an attached message is written as a storage";
            } else if (x->AttachmentKind() == TAttachmentKind::OleObject) {
                // An OLE object: the same storages and streams as the image the TNEF message carried.
                EXPECT_EQ(ImageListing(ValueAsBytes(y->AttachmentDataNode()->Value)),
                    ImageListing(ValueAsBytes(x->AttachmentDataNode()->Value)))
                    << "attachment " << i;
            } else {
                EXPECT_TRUE(AttachmentBytes(b, i) == AttachmentBytes(a, i)) << "data of attachment " << i;
            }
        }

        // The common properties only: the same layout, with subject and body.
        const std::string common = dir.File(name + ".common.msg");
        ASSERT_NO_THROW(SaveToMSGFile(a, common, false));
        TPelMSGFile commonMsg;
        ASSERT_NO_THROW(commonMsg.LoadFromFile(common));
        EXPECT_EQ(U8(commonMsg.Subject()), U8(a.Subject()));
        EXPECT_TRUE(commonMsg.PlainBody() == a.PlainBody()) << "plain body of the common properties";
    }
    EXPECT_GE(written, CorpusAvailable() ? 40 : 1);

    // olefile opens every file written, both kinds.
    if (!Succeeds("/usr/bin/python3 -c 'import olefile'"))
        GTEST_SKIP() << "python3-olefile not installed";
    std::string command = "/usr/bin/python3 '" + Tool("ole_listing.py") + "'";
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        command += " '" + entry.path().string() + "'";
    Json listings = Json::Parse(Output(command));
    EXPECT_EQ(listings.object.size(), static_cast<size_t>(2 * written));
    for (const auto& [path, result] : listings.object) {
        EXPECT_EQ(result["error"].string, "") << path;
        EXPECT_TRUE(result["elements"].object.count("__properties_version1.0")) << path;
    }
}

TEST(TnefToMsg, MsgconvertReadsWhatWasWritten)
{
    if (!Succeeds("command -v msgconvert") || !Succeeds("/usr/bin/python3 -c 'import email'"))
        GTEST_SKIP() << "msgconvert (libemail-outlook-message-perl) or python3 not installed";
    int converted = 0;
    TempDir dir;
    for (const auto& [name, tnef] : LoadedTnefFiles()) {
        SCOPED_TRACE(name);
        const std::string msg = dir.File(name + ".msg");
        const std::string eml = dir.File(name + ".eml");
        SaveToMSGFile(tnef->Properties(), msg, true);
        const TMSGProperties& a = tnef->Properties();
        int status = 0;
        Output("msgconvert --outfile '" + eml + "' '" + msg + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << "msgconvert failed";
        Json fields = Json::Parse(Output("/usr/bin/python3 '" + Tool("eml_fields.py") + "' '" + eml + "'"));
        ++converted;
        // msgconvert takes the headers from the transport headers when they have them, else From from the sender
        // name and address, To and Cc from the display lists (names it finds among the recipients with their
        // address), the body from the BODY property: those must have reached it intact.
        const std::string headers = U8(a.TransportHeaders());
        std::string subject = TransportHeader(headers, "Subject");
        subject.erase(0, subject.find_first_not_of(" \t"));
        if (subject.empty() || subject.find("=?") != std::string::npos)
            subject = Text(a, 0x0037);
        EXPECT_TRUE(SameHeaderText(fields["Subject"].string, subject)) << fields["Subject"].string << " | " << subject;
        const std::string sender = Text(a, 0x0C1A);
        const std::string senderAddress = Text(a, 0x0C1F);
        const std::string from = TransportHeader(headers, "From");
        if (!from.empty())
            EXPECT_EQ(Addresses(fields["From"].string), Addresses(from)) << fields["From"].string << " | " << from;
        else
            EXPECT_TRUE(SameHeaderText(Names(fields["From"].string), Names(sender)))
                << fields["From"].string << " | " << sender;
        if (from.empty() && !senderAddress.empty()) {
            EXPECT_TRUE(Addresses(fields["From"].string).count(*Addresses("<" + senderAddress + ">").begin()))
                << fields["From"].string << " | " << senderAddress;
        }
        for (const auto& [header, identifier] :
            { std::pair<std::string, uint16_t> { "To", 0x0E04 }, { "Cc", 0x0E03 } }) {
            const std::string copied = TransportHeader(headers, header);
            if (!copied.empty())
                EXPECT_EQ(Addresses(fields[header].string), Addresses(copied)) << header;
            else
                EXPECT_TRUE(SameHeaderText(
                    Names(fields[header].string), Names(DisplayList(a, identifier, header == "To" ? 1 : 2))))
                    << header << ": " << fields[header].string << " | "
                    << DisplayList(a, identifier, header == "To" ? 1 : 2);
        }
        EXPECT_EQ(NormalisedBody(fields["plain"].string), NormalisedBody(Text(a, 0x1000)));

        if (kEmlDifferences.count(name))
            continue;
        const auto& attachments = fields["attachments"].array;
        ASSERT_EQ(static_cast<int>(attachments.size()), a.AttachmentCount());
        for (int i = 0; i < a.AttachmentCount(); ++i) {
            const TMSGProperty* x = a.Attachments(i);
            const Json& y = attachments[static_cast<size_t>(i)];
            SCOPED_TRACE("attachment " + std::to_string(i));
            EXPECT_EQ(y["message"].boolean, x->AttachmentKind() == TAttachmentKind::EmbeddedMessage);
            if (x->AttachmentKind() == TAttachmentKind::EmbeddedMessage)
                continue;
            std::string fileName = Text(x->SubProperties, 0x3707);
            if (fileName.empty())
                fileName = Text(x->SubProperties, 0x3704);
            EXPECT_TRUE(SameHeaderText(y["name"].string, fileName)) << y["name"].string << " | " << fileName;
            if (x->AttachmentKind() == TAttachmentKind::FileData) {
                EXPECT_EQ(y["sha256"].string, Sha256Hex(AttachmentBytes(a, i)));
            } else if (x->AttachmentKind() == TAttachmentKind::OleObject) {
                // msgconvert saves the object's storage as a compound file of its own making: the same streams.
                std::map<std::string, std::string> streams;
                for (const auto& [path, sha] : y["ole"].object)
                    streams[path] = sha.string;
                EXPECT_EQ(streams, ImageListing(ValueAsBytes(x->AttachmentDataNode()->Value)));
            }
        }
    }
    EXPECT_GE(converted, CorpusAvailable() ? 40 : 1);
}

// What the tnef tool extracted from each TNEF file is in the .eml msgconvert makes of our .msg: a file by its
// bytes; an attached message or OLE object, which the tool saves as the property's data with its 16-byte
// interface identifier first, by that size (the .eml carries it as a message or as a compound file, compared
// above).
TEST(TnefToMsg, MsgconvertGivesTheFilesTheTnefToolExtracted)
{
    if (!CorpusAvailable())
        GTEST_SKIP() << "corpus not found at " << CorpusPath("tnef");
    if (!Succeeds("command -v msgconvert") || !Succeeds("/usr/bin/python3 -c 'import email'"))
        GTEST_SKIP() << "msgconvert (libemail-outlook-message-perl) or python3 not installed";
    TempDir dir;
    int files = 0;
    for (const auto& file : TnefFiles()) {
        const std::string name = file.filename().string();
        const std::string oraclePath = CorpusPath("oracle/" + name + ".json");
        if (!std::filesystem::exists(oraclePath) || kEmlDifferences.count(name))
            continue;
        const Json oracle = Json::Parse(ReadFileBytes(oraclePath));
        // A tool that stopped early (a checksum error, an assertion) has not extracted everything; the TNEF
        // corpus test lists those files and what they hold.
        if (oracle["tnef_extract"]["rc"].number != 0 || oracle["tnef_extract"]["stderr"].string != "")
            continue;
        SCOPED_TRACE(name);
        TPelTNEFFile tnef;
        tnef.LoadFromFile(file.string());
        const std::string msg = dir.File(name + ".msg");
        const std::string eml = dir.File(name + ".eml");
        SaveToMSGFile(tnef.Properties(), msg, true);
        Output("msgconvert --outfile '" + eml + "' '" + msg + "' 2>&1");
        const Json fields = Json::Parse(Output("/usr/bin/python3 '" + Tool("eml_fields.py") + "' '" + eml + "'"));
        std::set<std::string> emlHashes;
        for (const Json& attachment : fields["attachments"].array)
            emlHashes.insert(attachment["sha256"].string);
        std::multiset<size_t> objectSizes;
        const TMSGProperties& a = tnef.Properties();
        for (int i = 0; i < a.AttachmentCount(); ++i)
            if (a.Attachments(i)->AttachmentKind() >= TAttachmentKind::EmbeddedMessage)
                objectSizes.insert(ValueStringLength(a.Attachments(i)->AttachmentDataNode()->Value) + 16);
        for (const Json& extracted : oracle["tnef_extract"]["files"].array) {
            const std::string& fileName = extracted["name"].string;
            if (fileName == "message.rtf" || fileName == "message.html" || fileName == "message.txt")
                continue;
            ++files;
            if (emlHashes.count(extracted["sha256"].string))
                continue;
            auto object = objectSizes.find(static_cast<size_t>(extracted["size"].number));
            EXPECT_TRUE(object != objectSizes.end()) << fileName << " is not in the .eml";
            if (object != objectSizes.end())
                objectSizes.erase(object);
        }
    }
    EXPECT_GE(files, 40);
}
