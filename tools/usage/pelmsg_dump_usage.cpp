#include "pelmsg_dump_usage.h"

namespace tessaly {

const TUsageDoc& PelmsgDumpUsage()
{
    static const TUsageDoc doc = [] {
        TUsageDoc d;
        d.Program = "pelmsg-dump";
        d.Summary = "list the MAPI properties of a winmail.dat (TNEF) or Outlook .msg file";
        d.Synopsis = { "FILE", "--help | --version" };
        d.Description = {
            "Reads a TNEF message (winmail.dat, .tnef) or an Outlook .msg file and prints its property tree on standard "
            "output, one property a line: the property tag in hexadecimal, its name, its size in bytes and the "
            "beginning of its value. Recipients, attachments and attached messages are indented below the property "
            "that holds them. Control characters in values are shown as dots.",
            "A damaged file is listed as far as it could be read; each warning about it is printed on standard error "
            "with its byte offset.",
        };
        d.OptionsIntro = "Options:";
        d.Options = {
            { { "--help", "-h" }, "", "=", "print this text", {}, "" },
            { { "--version", "-V" }, "", "=", "print the version", {}, "" },
        };
        d.Sections = {
            { "Exit status",
                { "0 when the file was read in full; 3 when it was listed, but is damaged (the warnings on standard "
                  "error); 1 when it could not be read (the error on standard error); 2 for a usage error." } },
            { "Examples", { "List the properties of a message:", "  pelmsg-dump winmail.dat",
                              "Find the subject:", "  pelmsg-dump message.msg | grep -i subject" } },
        };
        d.SeeAlso = { "quorra(1)" };
        return d;
    }();
    return doc;
}

} // namespace tessaly
