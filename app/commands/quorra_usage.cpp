#include "quorra_usage.h"

#include "command_line.h"

namespace quorra {

const tessaly::TUsageDoc& QuorraUsage()
{
    static const tessaly::TUsageDoc doc = [] {
        tessaly::TUsageDoc d;
        d.Program = "quorra";
        d.Summary = "view and convert winmail.dat (TNEF) and Outlook .msg messages";
        d.Synopsis
            = { "[OPTIONS] [FILE]", "FILE /E FORMAT [OUTPUT] [OPTIONS]", "FILE... /E pdf|webpage [FOLDER] [OPTIONS]",
                  "FILE /ATTACHMENTS[=FOLDER] [OPTIONS]", "/FILTER [INPUT OUTPUT]" };
        d.Description = {
            "Opens a TNEF message (winmail.dat, .tnef) or an Outlook .msg file in the Tessaly window, or converts it "
            "without a window.",
            "A mail (.eml) or an mbox file opens as the TNEF message inside it, with the mail's sender, recipients, "
            "subject and date where the TNEF has none; \"MAIL /E eml OUT\" writes the mail with its TNEF parts "
            "replaced by their content (bodies, pictures, attachments, calendar part), every other byte as it was.",
            "Export: FORMAT is txt (or text), htm (or html), xml, eml or msg; ics for a calendar item, meeting or task "
            "(iCalendar), vcf for a contact (vCard); pdf for the message as the preview shows it (header, importance, "
            "body with its pictures, list of attachments) as a PDF with the subject as title and the sender as author, "
            "webpage for the same as one self-contained HTML file (pictures inside, no address outside the file; "
            "OUTPUT defaults to FILE.HTML). Both are laid out without a display; remote content is never loaded; "
            "several FILEs before /E pdf or /E webpage are converted in one run on every processor, each beside its "
            "file or into the folder OUTPUT, "
            "with a progress line on a terminal. OUTPUT defaults to FILE with the format as its extension; \"-\" "
            "writes to standard output. A message of the wrong kind for ics or vcf is refused. The output is never the "
            "input file itself. An existing OUTPUT is replaced only once the new one is complete; a symbolic link is "
            "followed (the file it points to is replaced, the link stays).",
            "/ATTACHMENTS writes every attachment into FOLDER (by default a folder named after FILE, beside it); "
            "attached messages become .msg files, no file is replaced, and each path written is printed.",
            "/FILTER reads a mail on standard input and writes it on standard output with its TNEF parts unwrapped, "
            "for mail servers: a mail without one, or one that cannot be unwrapped (damaged, over a limit, out of "
            "memory, over 60 s), goes out byte for byte as it came, the reason on standard error, status 0 (75 only "
            "when the output cannot be written). With INPUT and OUTPUT: an mbox file into a new mbox file, or a "
            "Maildir folder into a Maildir folder, on every processor.",
        };
        d.OptionsIntro = "Options (\"/\", \"-\" or \"--\" in front, any case):";
        std::vector<std::string> formats = ExportFormats();
        d.Options = {
            { { "/E" }, "FORMAT", " ", "convert FILE into FORMAT (written to OUTPUT)", formats, "" },
            { { "/ATTACHMENTS" }, "FOLDER", "=", "write every attachment of FILE into FOLDER", {}, "directory" },
            { { "/ALL" }, "", "=", "save all original properties (the default)", {}, "" },
            { { "/COMMON" }, "", "=", "this run: save only the commonly used properties (no full property listing)", {},
                "" },
            { { "/NOINI" }, "", "=", "do not write the settings file", {}, "" },
            { { "/VCARD3" }, "", "=", "with /E vcf: write vCard 3.0 (for older address books) instead of 4.0", {}, "" },
            { { "/NOLOGO" }, "", "=", "hide the logo", {}, "" },
            { { "/NOMENU" }, "", "=", "hide the menu and the tool bar", {}, "" },
            { { "/BASIC" }, "", "=", "basic view", {}, "" },
            { { "/SIMPLE" }, "", "=", "simple view", {}, "" },
            { { "/DEFFORMAT" }, "F", "=", "preferred body format: HTML, RTF or TEXT", { "HTML", "RTF", "TEXT" }, "" },
            { { "/LANG" }, "FILE", "=", "language file (german.lng) of the program's language folder", {}, "file" },
            { { "/LEFT" }, "N", "=", "window placement: left edge", {}, "none" },
            { { "/TOP" }, "N", "=", "window placement: top edge", {}, "none" },
            { { "/WIDTH" }, "N", "=", "window placement: width", {}, "none" },
            { { "/HEIGHT" }, "N", "=", "window placement: height", {}, "none" },
            { { "/FILTER" }, "", "=", "unwrap the TNEF parts of mail: standard input to output, or mbox/Maildir INPUT "
                "OUTPUT", {}, "" },
            { { "/HELP", "/?", "-h", "--help" }, "", "=", "print this text", {}, "" },
            { { "/VERSION", "-v", "--version" }, "", "=", "print the version", {}, "" },
        };
        d.Sections = {
            { "Exit status",
                { "0 when everything was written from a sound input; 3 when it was written, but the input was damaged "
                  "(each warning on standard error, with its byte offset); 1 when something was not written (the error "
                  "on standard error); 2 for a usage error (unknown switch or format, or no display for the "
                  "window)." } },
            { "Files",
                { "~/.config/Corvane/quorra/quorra.ini (or $XDG_CONFIG_HOME/Corvane/quorra/quorra.ini): the settings. "
                  "When it is missing, the first folder of $XDG_CONFIG_DIRS (/etc/xdg) is read for machine-wide "
                  "settings, which are never written. Section [Internet] holds the addresses and the mail command "
                  "(HomePage, SupportMail, ContactMail, UpdateUrl, MailCommand).",
                    "/usr/share/quorra/languages/*.lng: the language files of the window; "
                    "/usr/share/quorra/help/manual.html: the user manual." } },
            { "Examples",
                { "Show a message in the window:", "  quorra winmail.dat",
                    "Convert it to an .eml file that any mail program opens:",
                    "  quorra winmail.dat /E eml message.eml",
                    "Read the plain text in a pager:", "  quorra winmail.dat /E txt - | less",
                    "Keep the mail as it looks, to archive or to forward:", "  quorra winmail.dat /E pdf message.pdf",
                    "Save the attachments into a folder:", "  quorra winmail.dat /ATTACHMENTS=attachments" } },
        };
        d.SeeAlso = { "pelmsg-dump(1)", "xdg-mime(1)" };
        return d;
    }();
    return doc;
}

} // namespace quorra
