// render-usage: writes a program's manual page or bash completion from its usage description, at build time
// (render-usage man|bash quorra|pelmsg-dump VERSION DATE).

#include <cstdio>
#include <string>

#include "pelmsg_dump_usage.h"
#include "quorra_usage.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: render-usage man|bash|help PROGRAM VERSION DATE\n");
        return 2;
    }
    const std::string kind = argv[1], program = argv[2];
    const tessaly::TUsageDoc* doc = program == "quorra" ? &quorra::QuorraUsage()
        : program == "pelmsg-dump"                      ? &tessaly::PelmsgDumpUsage()
                                                        : nullptr;
    if (!doc) {
        std::fprintf(stderr, "render-usage: unknown program %s\n", program.c_str());
        return 2;
    }
    std::string text;
    if (kind == "man")
        text = tessaly::RenderManPage(*doc, argv[3], argv[4]);
    else if (kind == "bash")
        text = tessaly::RenderBashCompletion(*doc);
    else if (kind == "help")
        text = tessaly::RenderHelp(*doc);
    else {
        std::fprintf(stderr, "render-usage: unknown kind %s\n", kind.c_str());
        return 2;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}
