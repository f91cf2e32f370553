#include "settings.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "ini_file.h"
#include "pelmsg.h"

namespace quorra {

namespace {

bool ParseLong(const std::string& text, long& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = v;
    return true;
}

bool IsFolder(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "/x", "-x" or "--x" as "/X".
std::string Normalised(const std::string& text)
{
    std::string s = text;
    if (s.rfind("--", 0) == 0)
        s.replace(0, 2, "/");
    else if (s.rfind("-", 0) == 0)
        s.replace(0, 1, "/");
    size_t eq = s.find('=');
    // Only the switch name is upper-cased; values keep their case.
    return eq == std::string::npos ? pelmsg::UpperAscii(s) : pelmsg::UpperAscii(s.substr(0, eq + 1)) + s.substr(eq + 1);
}

const char* const kWholeSwitches[]
    = { "/ALL", "/COMMON", "/NOINI", "/NOLOGO", "/NOMENU", "/BASIC", "/SIMPLE", "/E", "/ATTACHMENTS" };
const char* const kPrefixSwitches[]
    = { "/DEFFORMAT=", "/LANG=", "/LEFT=", "/TOP=", "/WIDTH=", "/HEIGHT=", "/ATTACHMENTS=" };

// The most entries of a list that are read.
constexpr long kMaxListEntriesRead = 1000;

void ReadList(const TIniFile& ini, const char* section, std::vector<std::string>& list)
{
    list.clear();
    long count = ini.ReadInteger(section, "Count", 0);
    for (long i = 1; i <= count && i <= kMaxListEntriesRead; ++i)
        list.push_back(ini.ReadString(section, "Item" + std::to_string(i), ""));
}

void WriteList(TIniFile& ini, const char* section, const std::vector<std::string>& list)
{
    ini.WriteInteger(section, "Count", static_cast<long>(std::min(list.size(), kMaxListEntries)));
    for (size_t i = 0; i < list.size(); ++i)
        ini.WriteString(section, "Item" + std::to_string(i + 1), list[i]);
}

} // namespace

std::string FontToText(const TFontSpec& f)
{
    return f.Name + "," + std::to_string(f.Charset) + "," + std::to_string(f.Color) + "," + std::to_string(f.Size) + ","
        + std::to_string(f.Style);
}

void FontFromText(const std::string& text, TFontSpec& font)
{
    // Pieces between the first four commas; a piece counts only when the comma after it exists (the name needs
    // one comma, the character set two, the colour three, size and style four).
    std::vector<std::string> pieces;
    size_t pos = 0;
    while (pieces.size() < 4) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos)
            break;
        pieces.push_back(TrimBlanks(text.substr(pos, comma - pos)));
        pos = comma + 1;
    }
    const size_t commas = pieces.size();
    if (commas == 4)
        pieces.push_back(TrimBlanks(text.substr(pos)));
    long v = 0;
    if (commas >= 1 && !pieces[0].empty())
        font.Name = pieces[0];
    if (commas >= 2 && ParseLong(pieces[1], v))
        font.Charset = static_cast<int>(v);
    if (commas >= 3 && ParseLong(pieces[2], v))
        font.Color = v;
    if (commas >= 4) {
        if (ParseLong(pieces[3], v))
            font.Size = static_cast<int>(v);
        if (ParseLong(pieces[4], v))
            font.Style = static_cast<int>(v);
    }
}

TSettings::TSettings() = default;

namespace {

std::string& ProgramPathOverride()
{
    static std::string path;
    return path;
}

// An enumerated setting as the file stores it, by its number: a number that names none of its count values keeps
// the current value.
template <class E> E ReadEnum(const TIniFile& ini, const char* section, const char* key, E current, long count)
{
    const long stored = ini.ReadInteger(section, key, static_cast<long>(current));
    return stored >= 0 && stored < count ? static_cast<E>(stored) : current;
}

} // namespace

void SetProgramPath(const std::string& path) { ProgramPathOverride() = path; }

std::string ProgramPath()
{
    if (!ProgramPathOverride().empty())
        return ProgramPathOverride();
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n <= 0 ? std::string() : std::string(buffer, static_cast<size_t>(n));
}

std::string ProgramFolder()
{
    const std::string path = ProgramPath();
    if (path.empty())
        return ".";
    size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string SettingsPath(bool perUser)
{
    std::string base;
    if (perUser) {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        if (config && *config == '/')
            base = config;
        else if (home && *home)
            base = std::string(home) + "/.config";
    } else {
        const char* dirs = std::getenv("XDG_CONFIG_DIRS");
        std::string list = dirs && *dirs ? dirs : "/etc/xdg";
        base = list.substr(0, list.find(':'));
    }
    if (base.empty())
        return ProgramFolder() + "/quorra.ini";
    // Only the path: reading creates nothing, and the machine-wide folder is never written.
    return base + "/Corvane/quorra/quorra.ini";
}

bool SettingsKeyRead(std::string_view section, std::string_view key)
{
    using pelmsg::EqualsIgnoringAsciiCase;
    if (EqualsIgnoringAsciiCase(section, "Options") || EqualsIgnoringAsciiCase(section, "Attachments")
        || EqualsIgnoringAsciiCase(section, "Save"))
        return true;
    if (!EqualsIgnoringAsciiCase(section, "Recent") && !EqualsIgnoringAsciiCase(section, "FavoriteFiles"))
        return false;
    if (EqualsIgnoringAsciiCase(key, "Count"))
        return true;
    // "Item1" .. "Item1000", as ReadInteger would read the number.
    if (key.size() < 5 || key.size() > 8 || !EqualsIgnoringAsciiCase(key.substr(0, 4), "Item"))
        return false;
    long number = 0;
    for (char c : key.substr(4)) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    return key[4] != '0' && number >= 1 && number <= kMaxListEntriesRead;
}

bool SettingsLineKept(std::string_view section, std::string_view key)
{
    using pelmsg::EqualsIgnoringAsciiCase;
    if (EqualsIgnoringAsciiCase(section, "Recent") || EqualsIgnoringAsciiCase(section, "FavoriteFiles"))
        return SettingsKeyRead(section, key);
    return true;
}

void LoadSettings(TSettings& s, bool placement)
{
    std::string path = SettingsPath(true);
    if (!FileExists(path)) {
        path = SettingsPath(false);
        if (!FileExists(path))
            return;
    }
    // Only the keys read below are kept: a settings file grown to millions of lines costs one pass.
    const TIniFile ini(path, SettingsKeyRead);
    const char* o = "Options";
    if (!placement) {
        s.LastOpened = ini.ReadBool(o, "LastOpened", s.LastOpened);
        s.BeepAfter = ini.ReadBool(o, "BeepAfter", s.BeepAfter);
        s.DisableDialogAfterSave = ini.ReadBool(o, "DisableDialogAfterSave", s.DisableDialogAfterSave);
        s.SaveFormPosition = ini.ReadBool(o, "SaveFormPosition", s.SaveFormPosition);
        s.LangFile = ini.ReadString(o, "LangFile", s.LangFile);
        s.DefaultDir = ini.ReadString(o, "DefaultDir", s.DefaultDir);
        s.UseCustomFont = ini.ReadBool(o, "UseCustomFont", s.UseCustomFont);
        if (ini.KeyExists(o, "GridFont"))
            FontFromText(ini.ReadString(o, "GridFont", ""), s.GridFont);
        s.WordWrap = ini.ReadBool(o, "WordWrap", s.WordWrap);
        s.ExtendedSettings = ini.ReadString(o, "ExtendedSettings", s.ExtendedSettings);
        s.AppMode = ReadEnum(ini, o, "AppMode", s.AppMode, 3);
        s.HideLogo = ini.ReadBool(o, "HideLogo", s.HideLogo);
        s.DefaultFormat = ReadEnum(ini, o, "DefaultFormat", s.DefaultFormat, 4);
        s.AllowRemoteContent = ini.ReadBool(o, "AllowRemoteContent", s.AllowRemoteContent);
        s.DirKind = ReadEnum(ini, "Attachments", "DirKind", s.DirKind, 4);
        s.LastUsedDir = ini.ReadString("Attachments", "LastUsedDir", s.LastUsedDir);
        s.CustomDir = ini.ReadString("Attachments", "CustomDir", s.CustomDir);
        s.SaveMode = ReadEnum(ini, "Save", "SaveMode", s.SaveMode, 2);
        ReadList(ini, "Recent", s.RecentFiles);
        ReadList(ini, "FavoriteFiles", s.FavoriteFiles);
    } else if (s.SaveFormPosition) {
        s.DefaultPlacement = false;
        s.FormState = ReadEnum(ini, o, "FormState", s.FormState, 3);
        s.FormLeft = static_cast<int>(ini.ReadInteger(o, "FormLeft", s.FormLeft));
        s.FormTop = static_cast<int>(ini.ReadInteger(o, "FormTop", s.FormTop));
        s.FormWidth = static_cast<int>(ini.ReadInteger(o, "FormWidth", s.FormWidth));
        s.FormHeight = static_cast<int>(ini.ReadInteger(o, "FormHeight", s.FormHeight));
        s.Band0Width = static_cast<int>(ini.ReadInteger(o, "Band0Width", s.Band0Width));
        if (s.BandCount >= 2)
            s.Band1Width = static_cast<int>(ini.ReadInteger(o, "Band1Width", s.Band1Width));
        s.LeftPaneWidth = static_cast<int>(ini.ReadInteger(o, "LeftPaneWidth", s.LeftPaneWidth));
        s.FileExplorer = ini.ReadBool(o, "FileExplorer", s.FileExplorer);
    }
    s.SettingsChanged = false;
}

bool SaveSettings(TSettings& s)
{
    const std::string path = SettingsPath(true);
    try {
        ForceFolders(path.substr(0, path.rfind('/')));
    } catch (const std::exception&) {
        return false;
    }
    const char* o = "Options";
    auto write = [&](TIniFile& ini) {
        if (s.SettingsChanged) {
            ini.WriteBool(o, "LastOpened", s.LastOpened);
            ini.WriteBool(o, "BeepAfter", s.BeepAfter);
            ini.WriteBool(o, "DisableDialogAfterSave", s.DisableDialogAfterSave);
            ini.WriteBool(o, "SaveFormPosition", s.SaveFormPosition);
            if (s.SaveFormPosition) {
                ini.WriteInteger(o, "FormState", long(s.FormState));
                ini.WriteInteger(o, "FormLeft", s.FormLeft);
                ini.WriteInteger(o, "FormTop", s.FormTop);
                ini.WriteInteger(o, "FormWidth", s.FormWidth);
                ini.WriteInteger(o, "FormHeight", s.FormHeight);
                ini.WriteInteger(o, "Band0Width", s.Band0Width);
                if (s.BandCount >= 2)
                    ini.WriteInteger(o, "Band1Width", s.Band1Width);
                ini.WriteInteger(o, "LeftPaneWidth", s.LeftPaneWidth);
                ini.WriteBool(o, "FileExplorer", s.FileExplorer);
            }
            ini.WriteString(o, "LangFile", s.LangFile);
            ini.WriteString(o, "DefaultDir", s.DefaultDir);
            ini.WriteBool(o, "UseCustomFont", s.UseCustomFont);
            ini.WriteString(o, "GridFont", FontToText(s.GridFont));
            ini.WriteBool(o, "WordWrap", s.WordWrap);
            ini.WriteInteger(o, "AppMode", long(s.AppMode));
            ini.WriteBool(o, "HideLogo", s.HideLogo);
            ini.WriteInteger(o, "DefaultFormat", long(s.DefaultFormat));
            ini.WriteBool(o, "AllowRemoteContent", s.AllowRemoteContent);
        }
        ini.WriteInteger("Attachments", "DirKind", long(s.DirKind));
        ini.WriteString("Attachments", "LastUsedDir", s.LastUsedDir);
        ini.WriteString("Attachments", "CustomDir", s.CustomDir);
        ini.WriteInteger("Save", "SaveMode", long(s.SaveMode));
        WriteList(ini, "Recent", s.RecentFiles);
        WriteList(ini, "FavoriteFiles", s.FavoriteFiles);
    };
    // Nothing to change (a conversion's run, say): the file is left as it is, and not read whole to be rewritten.
    {
        TIniFile current(path, SettingsKeyRead);
        write(current);
        if (!current.Changed()) {
            s.SettingsChanged = false;
            return true;
        }
    }
    // The lists' sections hold only what the program reads back: stale or planted entries go.
    TIniFile ini(path, SettingsLineKept, TIniFile::TFilterUse::Rewrite);
    write(ini);
    bool written = ini.UpdateFile();
    s.SettingsChanged = false;
    return written;
}

bool IsSwitch(const std::string& text)
{
    if (text.empty() || (text[0] != '/' && text[0] != '-'))
        return false;
    std::string s = Normalised(text);
    for (const char* w : kWholeSwitches)
        if (s == w)
            return true;
    for (const char* p : kPrefixSwitches)
        if (s.rfind(p, 0) == 0)
            return true;
    return false;
}

void ApplyExtendedSettings(TSettings& settings)
{
    const std::string extended = settings.ExtendedSettings;
    size_t pos = 0;
    while (pos <= extended.size()) {
        size_t blank = extended.find(' ', pos);
        if (blank == std::string::npos)
            blank = extended.size();
        if (blank > pos)
            ApplySwitch(settings, extended.substr(pos, blank - pos));
        pos = blank + 1;
    }
}

bool ApplySwitch(TSettings& s, const std::string& text)
{
    if (!IsSwitch(text))
        return false;
    std::string sw = Normalised(text);
    if (sw == "/ALL")
        s.SaveMode = TSaveMode::AllProperties;
    else if (sw == "/COMMON")
        s.CommonPropertiesOnly = true;
    else if (sw == "/NOINI")
        s.UseIniFile = false;
    else if (sw == "/NOLOGO")
        s.HideLogo = true;
    else if (sw == "/NOMENU")
        s.ShowMenu = false;
    else if (sw == "/BASIC")
        s.AppMode = TAppMode::Basic;
    else if (sw == "/SIMPLE")
        s.AppMode = TAppMode::Simple;
    auto valueOf = [&](const char* prefix) { return sw.substr(std::string(prefix).size()); };
    if (sw.rfind("/DEFFORMAT=", 0) == 0) {
        std::string v = pelmsg::UpperAscii(valueOf("/DEFFORMAT="));
        if (v == "HTML")
            s.DefaultFormat = TDefaultFormat::Html;
        else if (v == "RTF")
            s.DefaultFormat = TDefaultFormat::RichText;
        else if (v == "TEXT")
            s.DefaultFormat = TDefaultFormat::Text;
    } else if (sw.rfind("/LANG=", 0) == 0) {
        s.LangFile = ProgramFolder() + "/" + valueOf("/LANG=");
    } else {
        struct {
            const char* prefix;
            int* field;
        } coordinates[] = { { "/LEFT=", &s.FormLeft }, { "/TOP=", &s.FormTop }, { "/WIDTH=", &s.FormWidth },
            { "/HEIGHT=", &s.FormHeight } };
        for (size_t i = 0; i < std::size(coordinates); ++i) {
            const auto& c = coordinates[i];
            if (sw.rfind(c.prefix, 0) != 0)
                continue;
            s.DefaultPlacement = false;
            long v = 0;
            if (ParseLong(valueOf(c.prefix), v)) {
                *c.field = static_cast<int>(v);
                s.PlacementSwitches[i] = static_cast<int>(v);
            }
        }
    }
    return true;
}

std::string AttachmentFolder(const TSettings& s, const std::string& messagePath)
{
    switch (s.DirKind) {
    case TDirKind::LastUsed:
        if (!s.LastUsedDir.empty())
            return s.LastUsedDir;
        [[fallthrough]];
    case TDirKind::MessageFolder: {
        size_t slash = messagePath.rfind('/');
        if (slash == std::string::npos)
            return ".";
        return slash == 0 ? "/" : messagePath.substr(0, slash);
    }
    case TDirKind::Custom:
        return s.CustomDir;
    case TDirKind::ProgramFolder:
        break;
    }
    return ProgramFolder();
}

bool ForceFolders(const std::string& path)
{
    if (path.empty())
        throw std::runtime_error("Unable to create directory");
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (p.size() < 3 || IsFolder(p))
        return true;
    size_t slash = p.rfind('/');
    if (slash != std::string::npos && slash > 0 && !ForceFolders(p.substr(0, slash)))
        return false;
    return ::mkdir(p.c_str(), 0777) == 0 || IsFolder(p);
}

} // namespace quorra
