#include "preview_support.h"

#include <algorithm>
#include <array>
#include <memory>


namespace quorra {

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != Lower(prefix[i]))
            return false;
    return true;
}

std::u16string Trimmed(std::u16string text)
{
    auto blank = [](char16_t c) { return c <= u' '; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    size_t start = 0;
    while (start < text.size() && blank(text[start]))
        ++start;
    return text.substr(start);
}

bool MatchesKey(const std::u16string& key, std::u16string_view source, bool byFileName)
{
    if (key.empty() || source.empty())
        return false;
    if (Trimmed(key) == source)
        return true;
    if (key.size() == source.size() + 2 && key.front() == u'<' && key.back() == u'>'
        && std::u16string_view(key).substr(1, source.size()) == source)
        return true;
    return byFileName && key.size() >= source.size() && std::u16string_view(key).substr(key.size() - source.size()) == source;
}

int FindBy(const pelmsg::TMSGProperties& message, std::u16string_view source, bool byFileName)
{
    for (int i = 0; i < message.AttachmentCount(); ++i) {
        const pelmsg::TMSGProperty* node = message.Attachments(i);
        if (!node)
            continue;
        std::u16string key;
        if (byFileName) {
            key = node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachFileName, 0), true, true);
        } else {
            key = node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachContentId, 0), true, true);
            if (key.empty())
                key = node->SubProperties.GetPropertyText(pelmsg::MakeTag(0x0008, 0), true, true);
        }
        if (MatchesKey(key, source, byFileName))
            return i;
    }
    return -1;
}

std::string ReadWholeStream(pelmsg::IStorage& storage, const std::u16string& name, size_t limit)
{
    std::unique_ptr<pelmsg::IStream> stream = storage.OpenStream(name);
    std::string bytes;
    char buffer[65536];
    while (bytes.size() < limit) {
        const size_t got = stream->Read(buffer, std::min(sizeof buffer, limit - bytes.size()));
        if (got == 0)
            break;
        bytes.append(buffer, got);
    }
    return bytes;
}

// The most bytes of a packaged file the preview takes out of an OLE object.
constexpr size_t kMaxPackageBytes = size_t(512) << 20;

} // namespace

std::u16string WrapHtmlForCharset(const std::string& charset, const std::u16string& html)
{
    const bool declares = html.find(u"charset=") != std::u16string::npos;
    if (declares || StartsWithNoCase(html, u"<HTML") || StartsWithNoCase(html, u"<!DOCTYPE"))
        return html;
    std::u16string wrapped = u"<html><meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
    for (char c : charset)
        wrapped.push_back(static_cast<unsigned char>(c));
    wrapped += u"\"><body>";
    wrapped += html;
    wrapped += u"</body></html>";
    return wrapped;
}

int FindEmbeddedImage(const pelmsg::TMSGProperties& message, std::u16string_view source, bool contentIdOrName)
{
    if (source.empty())
        return -1;
    if (StartsWithNoCase(source, u"cid:"))
        return FindBy(message, source.substr(4), false);
    if (contentIdOrName) {
        const int byId = FindBy(message, source, false);
        if (byId >= 0)
            return byId;
    }
    return FindBy(message, source, true);
}

std::string ProposedAttachmentName(pelmsg::TAttachmentKind kind, const std::string& caption, const std::string& fileName)
{
    if (kind != pelmsg::TAttachmentKind::EmbeddedMessage && kind != pelmsg::TAttachmentKind::OleObject)
        return fileName;
    std::string name = caption;
    // A caption that names its file already ("minutes.msg") keeps its one extension.
    const bool endsWithMsg = name.size() >= 4 && pelmsg::LowerAscii(name.substr(name.size() - 4)) == ".msg";
    if (!endsWithMsg)
        name += ".msg";
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), ':', '_');
    return name;
}

bool IsExecutableAttachment(std::string_view fileName, std::string_view firstBytes)
{
    static constexpr std::array<std::string_view, 44> kRunnable = { "desktop", "sh", "bash", "zsh", "csh", "ksh",
        "fish", "run", "bin", "appimage", "exe", "com", "bat", "cmd", "msi", "msp", "scr", "pif", "cpl", "jar",
        "jnlp", "py", "pyc", "pyw", "pl", "rb", "php", "js", "jse", "vbs", "vbe", "wsf", "wsh", "ps1", "hta", "lnk",
        "reg", "so", "deb", "rpm", "apk", "command", "x86_64", "elf" };
    // Trailing dots and blanks are dropped by the safe file name, so they must not hide the extension.
    std::string name(fileName);
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        const std::string extension = pelmsg::LowerAscii(name.substr(dot + 1));
        if (std::find(kRunnable.begin(), kRunnable.end(), extension) != kRunnable.end())
            return true;
    }
    auto startsWith = [&](std::string_view magic) { return firstBytes.substr(0, magic.size()) == magic; };
    // The desktop's MIME database takes a file for a desktop entry when "[Desktop Entry]" starts anywhere in its
    // first 33 bytes, or when it starts with one of the other headers.
    constexpr size_t kDesktopEntryReach = 32;
    const bool desktopEntry
        = firstBytes.substr(0, kDesktopEntryReach + std::string_view("[Desktop Entry]").size()).find("[Desktop Entry]")
            != std::string_view::npos
        || startsWith("[Desktop Action") || startsWith("[KDE Desktop Entry]") || startsWith("# Config File")
        || startsWith("# KDE Config File");
    return desktopEntry || startsWith("\x7F" "ELF") || startsWith("#!") || startsWith("MZ")
        || startsWith("\xCA\xFE\xBA\xBE");
}

TOleObjectInfo DescribeOleObject(const pelmsg::TMSGProperty& attachment)
{
    TOleObjectInfo info;
    const pelmsg::TMSGProperty* data = attachment.AttachmentDataNode();
    if (!data)
        return info;
    const auto* bytes = std::get_if<pelmsg::ByteString>(&data->Value);
    if (!bytes)
        return info;
    info.Size = bytes->size();
    try {
        // A TNEF object starts with the interface id of its storage.
        std::string_view view(*bytes);
        if (!pelmsg::HasCompoundFileSignature(view) && view.size() > 16
            && pelmsg::HasCompoundFileSignature(view.substr(16)))
            view.remove_prefix(16);
        if (!pelmsg::HasCompoundFileSignature(view))
            return info;
        info.Size = view.size();
        std::unique_ptr<pelmsg::IStorage> storage = pelmsg::StgOpenStorageOnMemory(std::string(view));
        const pelmsg::STATSTG root = storage->Stat();
        if (root.clsid != pelmsg::TClassId {})
            info.ClassId = pelmsg::GuidToText(root.clsid.data());
        if (storage->StatElement(u"\u0001CompObj")) {
            const pelmsg::TOleCompObj compObj
                = pelmsg::ReadOleCompObj(ReadWholeStream(*storage, u"\u0001CompObj", 1 << 16));
            info.UserType = compObj.UserType;
            info.ProgId = compObj.ProgId;
        }
        if (storage->StatElement(u"\u0001Ole10Native"))
            info.Package = pelmsg::ReadOle10Native(ReadWholeStream(*storage, u"\u0001Ole10Native", kMaxPackageBytes));
    } catch (const std::exception&) {
        // A damaged object shows what was read of it.
    }
    return info;
}

std::u16string VisibleBidiControls(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        const char* mark = nullptr;
        switch (c) {
        case u'\u061C':
            mark = "ALM";
            break;
        case u'\u200E':
            mark = "LRM";
            break;
        case u'\u200F':
            mark = "RLM";
            break;
        case u'\u202A':
            mark = "LRE";
            break;
        case u'\u202B':
            mark = "RLE";
            break;
        case u'\u202C':
            mark = "PDF";
            break;
        case u'\u202D':
            mark = "LRO";
            break;
        case u'\u202E':
            mark = "RLO";
            break;
        case u'\u2066':
            mark = "LRI";
            break;
        case u'\u2067':
            mark = "RLI";
            break;
        case u'\u2068':
            mark = "FSI";
            break;
        case u'\u2069':
            mark = "PDI";
            break;
        default:
            break;
        }
        if (!mark) {
            out += c;
            continue;
        }
        out += u'[';
        for (const char* m = mark; *m; ++m)
            out += static_cast<char16_t>(*m);
        out += u']';
    }
    return out;
}

std::u16string IsolatedMessageText(std::u16string_view text)
{
    std::u16string shown = VisibleBidiControls(text);
    // Hebrew, Arabic, Syriac, Thaana, NKo, Samaritan, Mandaic and the presentation forms: the letters that would
    // turn the sentence around them.
    const bool rightToLeft = std::any_of(shown.begin(), shown.end(), [](char16_t c) {
        return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
    });
    return rightToLeft ? u"\u2068" + shown + u"\u2069" : shown;
}

} // namespace quorra
