#pragma once

// The description of a command-line program, kept in one place and rendered in three ways: the text --help prints,
// the manual page (roff, man(7) macros) and the switch list bash completion offers. A program describes itself
// once (a TUsageDoc); adding a switch is adding one TUsageOption.

#include <string>
#include <vector>

namespace tessaly {

// One switch. Names are listed as the user types them ("/HELP", "/?", "-h"); the first is the main one. A switch
// that takes a value names it in Value ("FILE" for "/LANG=FILE"); ValueSeparator is "=" for "/LANG=FILE" and " "
// for "/E FORMAT". Choices are the values it takes, for completion ("txt", "html", ...); Completion says what else
// to complete after it: "file" or "directory" (or empty).
struct TUsageOption {
    std::vector<std::string> Names;
    std::string Value;
    std::string ValueSeparator = "=";
    std::string Text;
    std::vector<std::string> Choices;
    std::string Completion;
};

// A titled part of the text ("Exit status", "Files", "Examples"). Each paragraph is one unwrapped line; a paragraph
// that starts with two blanks is shown as written (an example command), not filled.
struct TUsageSection {
    std::string Title;
    std::vector<std::string> Paragraphs;
};

struct TUsageDoc {
    std::string Program;             // "quorra"
    std::string Summary;             // the NAME line of the manual page: "view and convert ..."
    std::vector<std::string> Synopsis; // "[OPTIONS] [FILE]", without the program name
    std::vector<std::string> Description; // paragraphs
    std::string OptionsIntro;        // one line above the switch list
    std::vector<TUsageOption> Options;
    std::vector<TUsageSection> Sections; // after the switches
    std::vector<std::string> SeeAlso;    // "pelmsg-dump(1)"
};

// The --help text: usage lines, description, switches, sections, filled to `width` columns.
std::string RenderHelp(const TUsageDoc& doc, size_t width = 100);

// The manual page in section 1, with the version and the date ("2026-12-09") in its title line. Every paragraph,
// switch and section of the --help text is in it, word for word.
std::string RenderManPage(const TUsageDoc& doc, const std::string& version, const std::string& date);

// A bash completion script for the program: its switches, and each switch's choices or files after it.
std::string RenderBashCompletion(const TUsageDoc& doc);

// The words of a text, as a reader of either rendering sees them (blanks and line breaks do not count).
std::vector<std::string> Words(const std::string& text);

} // namespace tessaly
