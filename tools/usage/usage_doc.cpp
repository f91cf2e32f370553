#include "usage_doc.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace tessaly {

namespace {

bool IsVerbatim(const std::string& paragraph) { return paragraph.rfind("  ", 0) == 0; }

// The words of the text filled into lines of at most `width` characters (a longer word gets a line of its own),
// each line after `indent` blanks; the first line starts after `firstIndent` characters already written.
std::string Fill(const std::string& text, size_t width, size_t indent, size_t firstIndent)
{
    std::string out;
    size_t column = firstIndent;
    bool lineEmpty = true;
    for (const std::string& word : Words(text)) {
        if (!lineEmpty && column + 1 + word.size() > width) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
    }
    return out;
}

std::string OptionLabel(const TUsageOption& o)
{
    std::string label;
    for (size_t i = 0; i < o.Names.size(); ++i) {
        if (i > 0)
            label += ", ";
        label += o.Names[i];
        if (i == 0 && !o.Value.empty())
            label += o.ValueSeparator + o.Value;
    }
    return label;
}

// Text for a roff text line: backslashes and minus signs escaped, and a line that would start with a control
// character ("." or "'") made plain text.
std::string Roff(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A shell word in single quotes.
std::string Quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : " ") + item;
    return out;
}

} // namespace

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::string RenderHelp(const TUsageDoc& doc, size_t width)
{
    std::string out;
    for (size_t i = 0; i < doc.Synopsis.size(); ++i)
        out += (i == 0 ? "Usage: " : "       ") + doc.Program + " " + doc.Synopsis[i] + "\n";
    // A blank line before each paragraph but the first; an example stays with the line that introduces it.
    auto paragraphs = [&](const std::vector<std::string>& list) {
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string& p = list[i];
            if (i > 0 && !IsVerbatim(p))
                out += "\n";
            out += IsVerbatim(p) ? p + "\n" : Fill(p, width, 0, 0) + "\n";
        }
    };
    out += "\n";
    paragraphs(doc.Description);
    if (!doc.Options.empty()) {
        out += '\n';
        out += Fill(doc.OptionsIntro, width, 0, 0) + "\n";
        size_t column = 0;
        for (const TUsageOption& o : doc.Options)
            column = std::max(column, OptionLabel(o).size());
        column = std::min<size_t>(column + 4, 30);
        for (const TUsageOption& o : doc.Options) {
            std::string label(2, ' ');
            label += OptionLabel(o);
            if (label.size() + 2 > column) {
                out += label + "\n" + std::string(column, ' ');
            } else {
                label.resize(column, ' ');
                out += label;
            }
            out += Fill(o.Text, width, column, column) + "\n";
        }
    }
    for (const TUsageSection& s : doc.Sections) {
        out += "\n" + s.Title + ":\n";
        paragraphs(s.Paragraphs);
    }
    if (!doc.SeeAlso.empty()) {
        out += "\nSee also:";
        for (size_t i = 0; i < doc.SeeAlso.size(); ++i)
            out += " " + doc.SeeAlso[i] + (i + 1 < doc.SeeAlso.size() ? "," : "");
        out += '\n';
    }
    return out;
}

std::string RenderManPage(const TUsageDoc& doc, const std::string& version, const std::string& date)
{
    std::string out;
    out += ".\\\" Made from the program's own usage text (tools/usage); do not edit.\n";
    out += ".TH " + Roff(Upper(doc.Program)) + " 1 \"" + date + "\" \"Tessaly " + version + "\" \"User Commands\"\n";
    // No hyphenation and no right-justification: every word stays as --help prints it.
    out += ".nh\n.ad l\n";
    out += ".SH NAME\n" + Roff(doc.Program) + " \\- " + Roff(doc.Summary) + "\n";
    out += ".SH SYNOPSIS\n";
    for (size_t i = 0; i < doc.Synopsis.size(); ++i)
    {
        if (i > 0)
            out += ".br\n";
        out += ".B " + Roff(doc.Program) + "\n" + Roff(doc.Synopsis[i]) + "\n";
    }
    auto paragraphs = [&](const std::vector<std::string>& list) {
        for (const std::string& p : list) {
            if (IsVerbatim(p))
                out += ".PP\n.RS 4\n.nf\n" + Roff(p.substr(2)) + "\n.fi\n.RE\n";
            else
                out += ".PP\n" + Roff(p) + "\n";
        }
    };
    out += ".SH DESCRIPTION\n";
    paragraphs(doc.Description);
    if (!doc.Options.empty()) {
        out += ".SH OPTIONS\n" + Roff(doc.OptionsIntro) + "\n";
        for (const TUsageOption& o : doc.Options) {
            out += ".TP\n";
            for (size_t i = 0; i < o.Names.size(); ++i) {
                if (i > 0)
                    out += ", ";
                out += "\\fB" + Roff(o.Names[i]) + "\\fR";
                if (i == 0 && !o.Value.empty())
                    out += Roff(o.ValueSeparator) + "\\fI" + Roff(o.Value) + "\\fR";
            }
            out += '\n';
            out += Roff(o.Text) + "\n";
        }
    }
    for (const TUsageSection& s : doc.Sections) {
        out += ".SH " + Roff(Upper(s.Title)) + "\n";
        paragraphs(s.Paragraphs);
    }
    if (!doc.SeeAlso.empty()) {
        out += ".SH SEE ALSO\n";
        for (size_t i = 0; i < doc.SeeAlso.size(); ++i) {
            const std::string& ref = doc.SeeAlso[i];
            const size_t paren = ref.find('(');
            out += ".BR " + Roff(ref.substr(0, paren)) + " " + ref.substr(paren) + (i + 1 < doc.SeeAlso.size() ? " ," : "")
                + "\n";
        }
    }
    return out;
}

std::string RenderBashCompletion(const TUsageDoc& doc)
{
    // The switches as offered: each name, "=" and nothing more for one that takes a value after "=".
    std::vector<std::string> switches;
    for (const TUsageOption& o : doc.Options)
        for (const std::string& name : o.Names)
            switches.push_back(name + (!o.Value.empty() && o.ValueSeparator == "=" ? "=" : ""));
    std::string function = "_" + doc.Program;
    std::replace(function.begin(), function.end(), '-', '_');

    std::string out;
    out += "# bash completion for " + doc.Program + ", made from the program's own usage text; do not edit.\n";
    out += function + "()\n{\n";
    out += "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"\" key=\"\"\n";
    out += "    [ \"$COMP_CWORD\" -gt 0 ] && prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n";
    // "=" separates words for bash: "/LANG=ger" arrives as "/LANG", "=", "ger".
    out += "    if [ \"$cur\" = \"=\" ]; then key=\"$prev\"; cur=\"\";\n";
    out += "    elif [ \"$prev\" = \"=\" ] && [ \"$COMP_CWORD\" -gt 1 ]; then key=\"${COMP_WORDS[COMP_CWORD-2]}\";\n";
    out += "    else key=\"$prev\"; fi\n";
    out += "    key=\"${key^^}\"; key=\"${key#--}\"; key=\"${key#[-/]}\"\n";
    out += "    local after_equals=0\n";
    out += "    { [ \"${COMP_WORDS[COMP_CWORD]}\" = \"=\" ] || [ \"$prev\" = \"=\" ]; } && after_equals=1\n";
    out += "    case \"$after_equals:$key\" in\n";
    for (const TUsageOption& o : doc.Options) {
        if (o.Value.empty())
            continue;
        const std::string want = o.ValueSeparator == "=" ? "1" : "0";
        std::string pattern;
        for (const std::string& name : o.Names) {
            std::string bare = Upper(name);
            bare.erase(0, bare.find_first_not_of("-/"));
            pattern += (pattern.empty() ? "" : "|") + want + ":" + Quoted(bare);
        }
        out += "        " + pattern + ")\n";
        if (!o.Choices.empty())
            out += "            COMPREPLY=($(compgen -W " + Quoted(Joined(o.Choices)) + " -- \"$cur\"))\n";
        else if (o.Completion == "none")
            out += "            COMPREPLY=()\n";
        else if (o.Completion == "directory")
            out += "            compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- \"$cur\"))\n";
        else
            out += "            compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\"))\n";
        out += "            return ;;\n";
    }
    out += "    esac\n";
    out += "    local switches=" + Quoted(Joined(switches)) + "\n";
    out += "    case \"$cur\" in\n";
    // "/" starts both a switch and an absolute path: offer both.
    out += "        -*) COMPREPLY=($(compgen -W \"$switches\" -- \"$cur\")) ;;\n";
    out += "        /*) compopt -o filenames 2>/dev/null\n";
    out += "            COMPREPLY=($(compgen -W \"$switches\" -- \"$cur\") $(compgen -f -- \"$cur\")) ;;\n";
    out += "        *) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")) ;;\n";
    out += "    esac\n";
    out += "    [ ${#COMPREPLY[@]} -eq 1 ] && [ \"${COMPREPLY[0]%=}\" != \"${COMPREPLY[0]}\" ] && compopt -o nospace 2>/dev/null\n";
    out += "    return 0\n}\n";
    out += "complete -F " + function + " " + doc.Program + "\n";
    return out;
}

} // namespace tessaly
