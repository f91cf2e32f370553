#pragma once

// What the viewer window decides without widgets: the file it offers at start-up, file-dialog filters, the
// language files it lists, the text of a load's warnings.

#include <cstdint>
#include <string>
#include <vector>

namespace quorra {

// The file-name box's text at a start without arguments: the newest recent file; else "winmail.dat" in the
// current folder when it exists; else the program's folder followed by "winmail.dat".
std::string InitialFileName(
    const std::vector<std::string>& recentFiles, const std::string& currentFolder, const std::string& programFolder);

// One entry of a filter text "Description|pattern;pattern|Description|pattern".
struct TFileFilter {
    std::string Description;
    std::vector<std::string> Patterns;
};
// The pairs of a filter text; a description without a pattern is dropped.
std::vector<TFileFilter> ParseFilterText(const std::string& text);
// The Qt name filter of an entry: "TNEF messages (*.tnef)", "WinMail.dat (winmail*.dat)". "*.*" becomes "*",
// since here a name need not have an extension.
std::string QtNameFilter(const TFileFilter& filter);
// One filter text entry that holds every pattern of the given filter texts, in order and each once ("*" left
// out): "All supported files|winmail*.dat;*.tnef;*.msg".
std::string CombinedFilterText(const std::string& description, const std::vector<std::string>& filterTexts);

// The folder of the language files: "languages" beside the program when it exists, else the installed share
// folder when it exists, else the program's folder.
std::string LanguageFolder(const std::string& programFolder, const std::string& installedFolder);

// A language file found in the language folder.
struct TLanguageFile {
    std::string Caption; // base name in lower case with its first letter in upper case: "German"
    std::string Path; // the file itself
    std::string Bitmap; // a picture of the same base name with the extension ".bmp" (any case), or empty
};
// The "*.lng" files of the folder (extension in any case), sorted by caption without regard to case; files
// with equal captions keep the folder's order.
std::vector<TLanguageFile> FindLanguageFiles(const std::string& folder);
// "GERMAN.lng" -> "German".
std::string LanguageCaption(const std::string& fileName);
// Whether a remembered language file is the built-in English one ("english.lng" in any folder, any case).
bool IsEnglishLanguageFile(const std::string& path);
// The remembered language file as a path that exists: the path itself, else a file of that name in the
// language folder (so that "/LANG=german.lng" finds the language beside the program). Empty stays empty.
std::string ResolveLanguageFile(const std::string& remembered, const std::string& languageFolder);

// One line per warning of a load, at most maxLines of them: the offset text (the given pattern with "%s"
// replaced by the offset) and the warning, or the warning alone when its offset is unknown.
struct TWarningLine {
    int64_t Offset;
    std::string Text;
};
std::vector<std::string> WarningLines(const std::vector<TWarningLine>& warnings, const std::string& offsetPattern,
    size_t maxLines);

} // namespace quorra
