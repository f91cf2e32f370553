#include "save_formats.h"

#include <sys/stat.h>

#include "command_line.h"
#include "pelmsg.h"

namespace quorra {

ESameFile::ESameFile(const std::string& fileName)
    : std::runtime_error(fileName + " is the message that is open; it is not overwritten.")
    , fileName_(fileName)
{
}

bool IsSameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    struct stat first { };
    struct stat second { };
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::vector<std::string> SaveAsExtensions(const pelmsg::TMSGProperties& message)
{
    std::vector<std::string> extensions = { ".txt", ".htm", ".xml", ".eml", ".msg" };
    if (pelmsg::ICalendarItem(message))
        extensions.push_back(".ics");
    else if (pelmsg::VCardItem(message))
        extensions.push_back(".vcf");
    extensions.push_back("");
    return extensions;
}

std::string UpperExtension(const std::string& fileName)
{
    const size_t slash = fileName.rfind('/');
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return pelmsg::UpperAscii(std::string_view(fileName).substr(dot));
}

std::string TypeChangedName(const std::string& typed, const std::string& extension)
{
    if (extension.empty() || typed.empty())
        return typed;
    return ReplaceExtension(typed, extension);
}

void SaveInFormat(const pelmsg::TPelMessage& message, const std::string& fileName, const std::string& extension,
    bool withProperties, const std::string& openFile, std::vector<std::string>* calendarWarnings)
{
    if (IsSameFile(fileName, openFile))
        throw ESameFile(fileName);
    const pelmsg::TMSGProperties& properties = message.Properties();
    if (extension == ".HTM" || extension == ".HTML")
        pelmsg::SaveToHTMLFile(properties, fileName, withProperties);
    else if (extension == ".XML")
        pelmsg::SaveToXMLFile(properties, fileName, withProperties);
    else if (extension == ".EML")
        pelmsg::SaveToEMLFile(properties, fileName);
    else if (extension == ".MSG")
        pelmsg::SaveToMSGFile(properties, fileName, withProperties);
    else if (extension == ".ICS" && pelmsg::ICalendarItem(properties))
        pelmsg::SaveToICalendarFile(properties, fileName, calendarWarnings);
    else if (extension == ".VCF" && pelmsg::VCardItem(properties))
        pelmsg::SaveToVCardFile(properties, fileName);
    else
        pelmsg::SaveToTextFile(properties, fileName, withProperties);
}

} // namespace quorra
