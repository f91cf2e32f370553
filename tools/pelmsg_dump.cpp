// pelmsg-dump: lists the property tree of a TNEF (winmail.dat) or .msg file, one property a line.

#include <cstdio>
#include <string>
#include <memory>

#include "pelmsg.h"
#include "pelmsg_dump_usage.h"

using namespace pelmsg;

namespace {

void Dump(const TMSGProperties& collection, int level)
{
    for (const TMSGProperty* node : collection) {
        std::string value = WideToUtf8(ListingValueText(*node, collection.TextCodePage()));
        if (value.size() > 70)
            value = std::string(Utf8Prefix(value, 70)) + "...";
        for (char& c : value)
            if (static_cast<unsigned char>(c) < 0x20)
                c = '.';
        // Named the way the window's tree names it (a named property by its own name).
        std::string name = PropertyNodeName(*node);
        std::printf(
            "%*s0x%08X %-36s %8u  %s\n", level * 2, "", node->TagID, name.c_str(), node->DataSize, value.c_str());
        Dump(node->SubProperties, level + 1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string first = argc == 2 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::fputs(tessaly::RenderHelp(tessaly::PelmsgDumpUsage()).c_str(), stdout);
        return 0;
    }
    if (first == "--version" || first == "-V") {
        std::printf("pelmsg-dump (Tessaly) %s\n", TESSALY_VERSION);
        return 0;
    }
    if (argc != 2 || (first.size() > 1 && first[0] == '-')) {
        if (argc == 2)
            std::fprintf(stderr, "pelmsg-dump: unknown switch %s\n\n", first.c_str());
        std::fputs(tessaly::RenderHelp(tessaly::PelmsgDumpUsage()).c_str(), stderr);
        return 2;
    }
    std::string path = argv[1];
    std::unique_ptr<TPelMessage> message = CreateMessageForFile(path);
    int status = 0;
    try {
        message->LoadFromFile(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    Dump(message->Properties(), 0);
    // What the reader skipped or cut in a damaged file.
    for (const TReadWarning& w : message->Warnings()) {
        if (w.Offset >= 0)
            std::fprintf(stderr, "warning: %s (byte %lld)\n", w.Text.c_str(), static_cast<long long>(w.Offset));
        else
            std::fprintf(stderr, "warning: %s\n", w.Text.c_str());
    }
    return status == 0 && !message->Warnings().empty() ? 3 : status;
}
