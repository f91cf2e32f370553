// The usage descriptions and their three renderings: --help, the manual page and bash completion. The parser
// accepts every switch the description lists, and the renderings carry the same words.

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

#include "command_line.h"
#include "pelmsg_dump_usage.h"
#include "quorra_usage.h"
#include "settings.h"
#include "usage_doc.h"

using tessaly::TUsageDoc;

namespace {

// The words of `part` appear in `text` one after another.
bool HasWordRun(const std::string& text, const std::string& part)
{
    const auto all = tessaly::Words(text);
    const auto run = tessaly::Words(part);
    if (run.empty())
        return true;
    for (size_t i = 0; i + run.size() <= all.size(); ++i)
        if (std::equal(run.begin(), run.end(), all.begin() + static_cast<long>(i)))
            return true;
    return false;
}

std::string RunShell(const std::string& script)
{
    const std::string path = ::testing::TempDir() + "/completion_test.sh";
    std::ofstream(path) << script;
    std::string out;
    if (FILE* p = ::popen(("bash --norc --noprofile " + path + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
            out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

} // namespace

// Every name of every switch quorra documents is one the command line takes: a value switch with a value, /E
// with a file and a format.
TEST(QuorraUsage, TheParserTakesEveryDocumentedSwitch)
{
    int checked = 0;
    for (const tessaly::TUsageOption& o : quorra::QuorraUsage().Options) {
        for (const std::string& name : o.Names) {
            std::vector<std::string> args { "message.dat" };
            if (name == "/FILTER")
                args = { "archive.mbox", name, "unwrapped.mbox" }; // an archive in, an archive out
            else if (o.ValueSeparator == " " && !o.Value.empty()) {
                args.push_back(name);
                args.push_back(o.Choices.empty() ? "x" : o.Choices.front());
            } else {
                args.push_back(o.Value.empty() ? name : name + "=" + (o.Choices.empty() ? "1" : o.Choices.front()));
            }
            const quorra::TCommandLine c = quorra::ParseCommandLine(args);
            EXPECT_EQ(c.UsageError, "") << name;
            const bool handled = c.Help || c.Version || c.ExportMode || c.SaveAttachments || c.Filter || c.VCard3
                || quorra::IsSwitch(args[1]);
            EXPECT_TRUE(handled) << name;
            ++checked;
        }
    }
    EXPECT_GE(checked, 20);
    // And a switch it does not list is refused.
    EXPECT_NE(quorra::ParseCommandLine({ "message.dat", "/NOSUCH" }).UsageError, "");
}

// Each format /E completes is one the parser accepts, and each one it accepts is completed.
TEST(QuorraUsage, ExportChoicesAreTheFormats)
{
    for (const tessaly::TUsageOption& o : quorra::QuorraUsage().Options) {
        if (o.Names.front() == "/E") {
            EXPECT_EQ(o.Choices, quorra::ExportFormats());
        }
    }
    for (const std::string& f : quorra::ExportFormats())
        EXPECT_TRUE(quorra::ParseCommandLine({ "m.dat", "/E", f }).ExportMode) << f;
}

// --help and the manual page carry every paragraph and switch text of the description, word for word.
TEST(Usage, HelpAndManualPageCarryTheSameText)
{
    for (const TUsageDoc* doc : { &quorra::QuorraUsage(), &tessaly::PelmsgDumpUsage() }) {
        const std::string help = tessaly::RenderHelp(*doc);
        const std::string man = tessaly::RenderManPage(*doc, "1.2.3", "2026-12-09");
        EXPECT_NE(man.find(".TH " + std::string(doc->Program == "quorra" ? "QUORRA" : "PELMSG\\-DUMP")
                      + " 1 \"2026-12-09\" \"Tessaly 1.2.3\""),
            std::string::npos);
        std::vector<std::string> parts = doc->Description;
        for (const auto& o : doc->Options)
            parts.push_back(o.Text);
        for (const auto& s : doc->Sections)
            parts.insert(parts.end(), s.Paragraphs.begin(), s.Paragraphs.end());
        for (std::string part : parts) {
            EXPECT_TRUE(HasWordRun(help, part)) << doc->Program << ": " << part;
            // The page escapes minus signs and backslashes.
            std::string escaped;
            for (char c : part)
                escaped += c == '-' ? std::string("\\-") : c == '\\' ? std::string("\\e") : std::string(1, c);
            EXPECT_TRUE(HasWordRun(man, escaped)) << doc->Program << ": " << part;
        }
        // --help keeps to its width but for a word longer than the line.
        size_t start = 0;
        for (size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1)
            EXPECT_LE(end - start, 100u) << help.substr(start, end - start);
    }
}

// Text that roff would take as a request or an escape reaches the page as text.
TEST(Usage, ManualPageEscapes)
{
    TUsageDoc doc;
    doc.Program = "prog";
    doc.Summary = "s";
    doc.Synopsis = { "FILE" };
    doc.Description = { ".starts with a dot", "'starts with a quote", "back\\slash and -minus", "  .verbatim dot" };
    const std::string man = tessaly::RenderManPage(doc, "1", "d");
    EXPECT_NE(man.find("\n\\&.starts with a dot\n"), std::string::npos);
    EXPECT_NE(man.find("\n\\&'starts with a quote\n"), std::string::npos);
    EXPECT_NE(man.find("\nback\\eslash and \\-minus\n"), std::string::npos);
    EXPECT_NE(man.find("\n.nf\n\\&.verbatim dot\n.fi\n"), std::string::npos);
}

// The completion script, run by bash: what it offers at each point of a command line.
TEST(Usage, BashCompletionOffersSwitchesAndFormats)
{
    const std::string script = tessaly::RenderBashCompletion(quorra::QuorraUsage());
    struct {
        std::string words; // the words of the line, the last one being completed
        std::string expected;
    } cases[] = {
        { "quorra m.dat /E ''", "txt text htm html xml eml msg ics vcf pdf webpage" },
        { "quorra m.dat /e h", "htm html" },
        { "quorra m.dat /NO", "/NOINI /NOLOGO /NOMENU" },
        { "quorra m.dat -", "-h --help -v --version" },
        { "quorra /DEFFORMAT = ''", "HTML RTF TEXT" },
        { "quorra /deFFormat = R", "RTF" },
        { "quorra /LEFT = ''", "" },
    };
    for (const auto& c : cases) {
        const std::string out = RunShell(script + "COMP_WORDS=(" + c.words + "); COMP_CWORD=$((${#COMP_WORDS[@]}-1))\n"
            + "_quorra; echo \"[${COMPREPLY[*]}]\"\n");
        EXPECT_NE(out.find("[" + c.expected + "]"), std::string::npos) << c.words << " gave " << out;
    }
}
