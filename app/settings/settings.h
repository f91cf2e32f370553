#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorra {

// A font as the settings file stores it: "name,charset,color,size,style" (style bits: bold 1, italic 2,
// underline 4, strike-out 8).
struct TFontSpec {
    std::string Name = "Sans Serif";
    int Charset = 1;
    long Color = 0;
    int Size = 9;
    int Style = 0;
    bool operator==(const TFontSpec&) const = default;
};

// Text of a font for the settings file.
std::string FontToText(const TFontSpec& font);
// Reads a font text into the font: the text is cut at its first four commas; each piece is taken only when the
// comma before it exists, and only when it is not empty (and, for the numbers, a number); anything else keeps
// the current attribute.
void FontFromText(const std::string& text, TFontSpec& font);

// The settings that take one of a few values; the settings file stores each as its number.
enum class TAppMode { Extended = 0, Simple = 1, Basic = 2 };
enum class TDefaultFormat { Any = 0, Text = 1, RichText = 2, Html = 3 };
// Where attachments are saved by default.
enum class TDirKind { ProgramFolder = 0, LastUsed = 1, Custom = 2, MessageFolder = 3 };
enum class TSaveMode { AllProperties = 0, CommonProperties = 1 };
enum class TFormState { Normal = 0, Minimized = 1, Maximized = 2 };

// The program's process-wide settings, named by their keys in the settings file.
struct TSettings {
    // [Options]
    bool LastOpened = false;
    bool BeepAfter = true;
    bool DisableDialogAfterSave = false;
    bool SaveFormPosition = true; // the window comes back where it was left
    TFormState FormState = TFormState::Normal;
    int FormLeft = 0, FormTop = 0, FormWidth = 800, FormHeight = 600;
    int Band0Width = 0, Band1Width = 0;
    int LeftPaneWidth = 112;
    bool FileExplorer = false;
    std::string LangFile;
    std::string DefaultDir; // empty unless the user set it: the dialogs then start where StartFolder says
    bool UseCustomFont = false;
    TFontSpec GridFont;
    bool WordWrap = false;
    std::string ExtendedSettings; // extra switches applied at every start; never written
    TAppMode AppMode = TAppMode::Extended;
    bool HideLogo = false;
    TDefaultFormat DefaultFormat = TDefaultFormat::Html;
    // Whether HTML mail may load remote images and style sheets (trackers) without being asked each time.
    bool AllowRemoteContent = false;
    // [Attachments]
    // The last used folder by default (the message's folder until one was used): the program's folder is no place
    // for a user's files.
    TDirKind DirKind = TDirKind::LastUsed;
    std::string LastUsedDir;
    std::string CustomDir;
    // [Save]
    TSaveMode SaveMode = TSaveMode::AllProperties;
    // "/COMMON": the exports of this run take only the common properties, whatever SaveMode says; never stored.
    bool CommonPropertiesOnly = false;
    // [Recent], [FavoriteFiles]
    std::vector<std::string> RecentFiles;
    std::vector<std::string> FavoriteFiles;

    // Whether the Options section must be written.
    bool SettingsChanged = false;
    // False after "/NOINI": the settings are read but not written at shutdown.
    bool UseIniFile = true;
    // Window state that switches change: the placement given by "/LEFT=" and its kin, and "/NOMENU".
    bool DefaultPlacement = true;
    // The coordinates the switches gave (left, top, width, height); the others keep the window's own.
    std::array<std::optional<int>, 4> PlacementSwitches;
    bool ShowMenu = true;
    int BandCount = 2;

    TSettings();
};

// The most entries of a list that survive a restart.
inline constexpr size_t kMaxListEntries = 5;

// The program: the running executable, unless SetProgramPath named another (the window program takes the front's,
// quorra, which started it).
std::string ProgramPath();
void SetProgramPath(const std::string& path);
// The folder of ProgramPath().
std::string ProgramFolder();
// Full path of the settings file, per user ($XDG_CONFIG_HOME, else ~/.config) or machine-wide (the first folder of
// $XDG_CONFIG_DIRS, else /etc/xdg), under "Corvane/quorra/"; creates the folder chain (failures ignored). Without
// any such folder, the program's own folder.
std::string SettingsPath(bool perUser);

// Whether LoadSettings reads the key: the Options, Attachments and Save sections, and the lists' Count and
// Item1 .. Item1000. Other lines of the file are passed over without being kept.
bool SettingsKeyRead(std::string_view section, std::string_view key);

// Whether SaveSettings keeps a key of the file it rewrites: every key but the lists' entries that are never read.
bool SettingsLineKept(std::string_view section, std::string_view key);

// Placement false: everything but the window placement; true: the window placement only (when SaveFormPosition
// is set). Reads the per-user file, else the machine-wide one; nothing changes when neither exists.
void LoadSettings(TSettings& settings, bool placement);
// Writes the per-user file: Options when SettingsChanged, the other sections always. Returns false when the file
// could not be written.
bool SaveSettings(TSettings& settings);

// Applies one command-line switch; true when the text is a switch this program knows ("/ALL", "-noini",
// "--deformat=rtf", ...: "/", "-" or "--" in front, letters in any case).
bool ApplySwitch(TSettings& settings, const std::string& text);
// Applies the stored switches (ExtendedSettings: switches separated by blanks) in order.
void ApplyExtendedSettings(TSettings& settings);
// Whether the text is one of the program's switches (including "/E"), in any of its forms.
bool IsSwitch(const std::string& text);

// The default folder for saving attachments of the message at messagePath.
std::string AttachmentFolder(const TSettings& settings, const std::string& messagePath);
// Creates a folder and all missing parents; true when it exists afterwards. Throws std::runtime_error
// "Unable to create directory" for an empty path.
bool ForceFolders(const std::string& path);

} // namespace quorra
