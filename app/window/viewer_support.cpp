#include "viewer_support.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "text/ascii_case.h"

namespace quorra {

namespace fs = std::filesystem;

namespace {

bool IsDirectory(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool IsRegularFile(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Trimmed(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace

std::string InitialFileName(
    const std::vector<std::string>& recentFiles, const std::string& currentFolder, const std::string& programFolder)
{
    if (!recentFiles.empty())
        return recentFiles.front();
    std::string here = Join(currentFolder, "winmail.dat");
    if (IsRegularFile(here))
        return here;
    return Join(programFolder, "winmail.dat");
}

std::vector<TFileFilter> ParseFilterText(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    std::vector<TFileFilter> filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        TFileFilter f;
        f.Description = Trimmed(parts[i]);
        size_t p = 0;
        const std::string& patterns = parts[i + 1];
        for (;;) {
            size_t semi = patterns.find(';', p);
            std::string one = Trimmed(patterns.substr(p, semi == std::string::npos ? std::string::npos : semi - p));
            if (!one.empty())
                f.Patterns.push_back(one == "*.*" ? "*" : one);
            if (semi == std::string::npos)
                break;
            p = semi + 1;
        }
        if (!f.Patterns.empty())
            filters.push_back(f);
    }
    return filters;
}

std::string QtNameFilter(const TFileFilter& filter)
{
    std::string patterns;
    for (const std::string& p : filter.Patterns)
        patterns += (patterns.empty() ? "" : " ") + p;
    // Qt takes the patterns from the last parenthesised group; a description such as "All files (*.*)" already
    // ends in one, which is replaced by the patterns in Qt's form.
    std::string description = filter.Description;
    if (!description.empty() && description.back() == ')') {
        size_t open = description.rfind('(');
        if (open != std::string::npos)
            description = Trimmed(description.substr(0, open));
    }
    return description.empty() ? patterns : description + " (" + patterns + ")";
}

std::string CombinedFilterText(const std::string& description, const std::vector<std::string>& filterTexts)
{
    std::vector<std::string> patterns;
    for (const std::string& text : filterTexts)
        for (const TFileFilter& f : ParseFilterText(text))
            for (const std::string& p : f.Patterns)
                if (p != "*" && std::find(patterns.begin(), patterns.end(), p) == patterns.end())
                    patterns.push_back(p);
    std::string joined;
    for (const std::string& p : patterns)
        joined += (joined.empty() ? "" : ";") + p;
    return description + "|" + joined;
}

std::string LanguageFolder(const std::string& programFolder, const std::string& installedFolder)
{
    std::string beside = Join(programFolder, "languages");
    if (IsDirectory(beside))
        return beside;
    if (IsDirectory(installedFolder))
        return installedFolder;
    return programFolder;
}

std::string LanguageCaption(const std::string& fileName)
{
    std::string base = BaseName(fileName);
    size_t dot = base.rfind('.');
    if (dot != std::string::npos)
        base.resize(dot);
    base = pelmsg::LowerAscii(base);
    if (!base.empty() && base[0] >= 'a' && base[0] <= 'z')
        base[0] = static_cast<char>(base[0] - 'a' + 'A');
    return base;
}

std::vector<TLanguageFile> FindLanguageFiles(const std::string& folder)
{
    std::vector<TLanguageFile> files;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    for (const std::string& name : names) {
        if (name.size() <= 4 || !pelmsg::EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".lng"))
            continue;
        std::string path = Join(folder, name);
        if (!IsRegularFile(path))
            continue;
        TLanguageFile file { LanguageCaption(name), path, {} };
        std::string stem = name.substr(0, name.size() - 4);
        for (const std::string& other : names)
            if (pelmsg::EqualsIgnoringAsciiCase(other, stem + ".bmp") && IsRegularFile(Join(folder, other)))
                file.Bitmap = Join(folder, other);
        files.push_back(file);
    }
    std::stable_sort(files.begin(), files.end(), [](const TLanguageFile& a, const TLanguageFile& b) {
        return std::lexicographical_compare(
            a.Caption.begin(), a.Caption.end(), b.Caption.begin(), b.Caption.end(), [](char x, char y) {
                return static_cast<unsigned char>(pelmsg::LowerAscii(x))
                    < static_cast<unsigned char>(pelmsg::LowerAscii(y));
            });
    });
    return files;
}

bool IsEnglishLanguageFile(const std::string& path)
{
    return pelmsg::EqualsIgnoringAsciiCase(BaseName(path), "english.lng");
}

std::string ResolveLanguageFile(const std::string& remembered, const std::string& languageFolder)
{
    if (remembered.empty() || IsRegularFile(remembered))
        return remembered;
    std::string beside = Join(languageFolder, BaseName(remembered));
    return IsRegularFile(beside) ? beside : remembered;
}

std::vector<std::string> WarningLines(
    const std::vector<TWarningLine>& warnings, const std::string& offsetPattern, size_t maxLines)
{
    std::vector<std::string> lines;
    for (const TWarningLine& w : warnings) {
        if (lines.size() >= maxLines)
            break;
        if (w.Offset < 0) {
            lines.push_back(w.Text);
            continue;
        }
        std::string prefix = offsetPattern;
        size_t at = prefix.find("%s");
        if (at != std::string::npos)
            prefix.replace(at, 2, std::to_string(w.Offset));
        lines.push_back(prefix + " " + w.Text);
    }
    return lines;
}

} // namespace quorra
