// Writes samples/winmail.dat: a realistic message of our own, built with the test TNEF builder.
// Usage: make_sample_tnef OUTPUT

#include <cstdio>
#include <string>

#include "lzfu.h"
#include "test_support.h"
#include "tnef_builder.h"

using namespace pelmsg::test;

namespace {

const std::string kChartPng = std::string(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x18\x00\x00\x00\x10\x08\x02\x00\x00"
    "\x00\x83\x46\x28\xc2\x00\x00\x02\xcd\x49\x44\x41\x54\x78\xda\x0d\xcc\x91\xda\xb6\x30\x00\x80\xe1\xff\x48\x3e\x0c"
    "\xc3\x30\x0c\xc3\x20\x08\x82\x20\x08\x06\xc1\x20\x08\x82\x20\x18\x04\x41\x30\x08\x82\x60\x10\x0c\x82\x41\xd7\x73"
    "\x0d\x82\xa0\xe3\xf9\xdf\xfb\x00\xee\x7f\x7f\x39\x41\x4e\x98\x13\xe5\xc4\x39\x49\x4e\x9a\x93\xe5\x14\x39\x55\x4e"
    "\x93\xd3\xe6\x74\x39\x43\xce\x94\x33\xe7\xac\x39\x5b\xce\x91\x73\xe6\x5c\x39\x77\xce\x93\xf3\xe5\xfc\xfb\x2b\x09"
    "\x4a\xc2\x92\xa8\x24\x2e\x49\x4a\xd2\x92\xac\xa4\x28\xa9\x4a\x9a\x92\xb6\xa4\x2b\x19\x4a\xa6\x92\xb9\x64\x2d\xd9"
    "\x4a\x8e\x92\xb3\xe4\x2a\xb9\x4b\x9e\x92\xaf\xfc\x45\x35\x41\x4d\x58\x13\xd5\xc4\x35\x49\x4d\x5a\x93\xd5\x14\x35"
    "\x55\x4d\x53\xd3\xd6\x74\x35\x43\xcd\x54\x33\xd7\xac\x35\x5b\xcd\x51\x73\xd6\x5c\x35\x77\xcd\x53\xf3\xd5\xbf\x48"
    "\x10\x08\x42\x41\x24\x88\x05\x89\x20\x15\x64\x82\x42\x50\x09\x1a\x41\x2b\xe8\x04\x83\x60\x12\xcc\x82\x55\xb0\x09"
    "\x0e\xc1\x29\xb8\x04\xb7\xe0\x11\x7c\xe2\x17\x49\x02\x49\x28\x89\x24\xb1\x24\x91\xa4\x92\x4c\x52\x48\x2a\x49\x23"
    "\x69\x25\x9d\x64\x90\x4c\x92\x59\xb2\x4a\x36\xc9\x21\x39\x25\x97\xe4\x96\x3c\x92\x4f\xfe\xa2\x9e\xa0\x27\xec\x89"
    "\x7a\xe2\x9e\xa4\x27\xed\xc9\x7a\x8a\x9e\xaa\xa7\xe9\x69\x7b\xba\x9e\xa1\x67\xea\x99\x7b\xd6\x9e\xad\xe7\xe8\x39"
    "\x7b\xae\x9e\xbb\xe7\xe9\xf9\xfa\x5f\x34\x12\x8c\x84\x23\xd1\x48\x3c\x92\x8c\xa4\x23\xd9\x48\x31\x52\x8d\x34\x23"
    "\xed\x48\x37\x32\x8c\x4c\x23\xf3\xc8\x3a\xb2\x8d\x1c\x23\xe7\xc8\x35\x72\x8f\x3c\x23\xdf\xf8\x8b\x14\x81\x22\x54"
    "\x44\x8a\x58\x91\x28\x52\x45\xa6\x28\x14\x95\xa2\x51\xb4\x8a\x4e\x31\x28\x26\xc5\xac\x58\x15\x9b\xe2\x50\x9c\x8a"
    "\x4b\x71\x2b\x1e\xc5\xa7\x7e\xd1\x42\xb0\x10\x2e\x44\x0b\xf1\x42\xb2\x90\x2e\x64\x0b\xc5\x42\xb5\xd0\x2c\xb4\x0b"
    "\xdd\xc2\xb0\x30\x2d\xcc\x0b\xeb\xc2\xb6\x70\x2c\x9c\x0b\xd7\xc2\xbd\xf0\x2c\x7c\xcb\x2f\xd2\x04\x9a\x50\x13\x69"
    "\x62\x4d\xa2\x49\x35\x99\xa6\xd0\x54\x9a\x46\xd3\x6a\x3a\xcd\xa0\x99\x34\xb3\x66\xd5\x6c\x9a\x43\x73\x6a\x2e\xcd"
    "\xad\x79\x34\x9f\xfe\x45\x3b\xc1\x4e\xb8\x13\xed\xc4\x3b\xc9\x4e\xba\x93\xed\x14\x3b\xd5\x4e\xb3\xd3\xee\x74\x3b"
    "\xc3\xce\xb4\x33\xef\xac\x3b\xdb\xce\xb1\x73\xee\x5c\x3b\xf7\xce\xb3\xf3\xed\xbf\xc8\x10\x18\x42\x43\x64\x88\x0d"
    "\x89\x21\x35\x64\x86\xc2\x50\x19\x1a\x43\x6b\xe8\x0c\x83\x61\x32\xcc\x86\xd5\xb0\x19\x0e\xc3\x69\xb8\x0c\xb7\xe1"
    "\x31\x7c\xe6\x17\x59\x02\x4b\x68\x89\x2c\xb1\x25\xb1\xa4\x96\xcc\x52\x58\x2a\x4b\x63\x69\x2d\x9d\x65\xb0\x4c\x96"
    "\xd9\xb2\x5a\x36\xcb\x61\x39\x2d\x97\xe5\xb6\x3c\x96\xcf\xfe\x22\x47\xe0\x08\x1d\x91\x23\x76\x24\x8e\xd4\x91\x39"
    "\x0a\x47\xe5\x68\x1c\xad\xa3\x73\x0c\x8e\xc9\x31\x3b\x56\xc7\xe6\x38\x1c\xa7\xe3\x72\xdc\x8e\xc7\xf1\xb9\x5f\xe4"
    "\x09\x3c\xa1\x27\xf2\xc4\x9e\xc4\x93\x7a\x32\x4f\xe1\xa9\x3c\x8d\xa7\xf5\x74\x9e\xc1\x33\x79\x66\xcf\xea\xd9\x3c"
    "\x87\xe7\xf4\x5c\x9e\xdb\xf3\x78\x3e\xff\x8b\x5e\x82\x97\xf0\x25\x7a\x89\x5f\x92\x97\xf4\x25\x7b\x29\x5e\xaa\x97"
    "\xe6\xa5\x7d\xe9\x5e\x86\x97\xe9\x65\x7e\x59\x5f\xb6\x97\xe3\xe5\x7c\xb9\x5e\xee\x97\xe7\xe5\x7b\xf9\x0f\x95\x81"
    "\xc4\x1f\x14\x14\x58\xe2\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    774);

const std::array<uint8_t, 16> kPsPublicStrings
    = { 0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

std::string Windows1252(const std::string& latin1Utf8)
{
    // The sample's 8-bit texts only use Latin-1 letters, which Windows-1252 stores as their code points.
    std::string out;
    for (size_t i = 0; i < latin1Utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(latin1Utf8[i]);
        if (c == 0xC3 && i + 1 < latin1Utf8.size()) {
            out += static_cast<char>(0xC0 + (static_cast<unsigned char>(latin1Utf8[++i]) & 0x3F));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string AttachedMessage()
{
    return TnefBuilder(0x1111)
        .Version()
        .OemCodePage(1252)
        .MessageClass("IPM.Note")
        .Subject("Original request: venue for the Z\xFCrich workshop")
        .MapiProps(
            TnefPropList()
                .Unicode(0x0037, "Original request: venue for the Zürich workshop")
                .Unicode(0x0042, "Bruno Keller")
                .Unicode(0x0065, "bruno.keller@example.ch")
                .Unicode(0x0E04, "Anna Novák")
                .SysTime(0x0039, FileTimeOf(2026, 6, 30, 14, 5, 0))
                .Unicode(0x1000, "Hello Anna,\r\n\r\ncould you book the room for the workshop?\r\n\r\nBruno\r\n"))
        .RecipientTable(
            { TnefPropList().Unicode(0x3001, "Anna Novák").Unicode(0x39FE, "anna.novak@example.cz").Long(0x0C15, 1) })
        .Bytes();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_tnef OUTPUT\n");
        return 2;
    }
    const std::string plain = "Dear all,\r\n\r\n"
                              "the minutes of the Zürich meeting are attached, with the chart we discussed.\r\n"
                              "Budget: 12 500 € approved; next review on 14 July.\r\n\r\n"
                              "Kind regards,\r\nAnna Novák\r\n";
    const std::string html
        = "<!DOCTYPE html>\r\n<html><head><meta http-equiv=\"Content-Type\" "
          "content=\"text/html; charset=utf-8\"><title>Minutes</title></head>\r\n<body>"
          "<p>Dear all,</p>\r\n<p>the minutes of the <b>Zürich</b> meeting are attached, with the "
          "chart we discussed:</p>\r\n<p><img src=\"cid:chart.png@tessaly.example\" alt=\"chart\"></p>\r\n"
          "<p>Budget: 12&nbsp;500&nbsp;€ approved; next review on 14 July.</p>\r\n"
          "<p>Kind regards,<br>Anna Novák</p>\r\n</body></html>\r\n";
    const std::string rtf
        = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"
          "\\f0\\fs20 Dear all,\\par\\par\r\n"
          "the minutes of the {\\b Z\\'fcrich} meeting are attached, with the chart we discussed.\\par\r\n"
          "Budget: 12 500 \\'80 approved; next review on 14 July.\\par\\par\r\n"
          "Kind regards,\\par Anna Nov\\'e1k\\par\r\n}";
    const std::string headers = "Received: from mail.example.cz (mail.example.cz [192.0.2.10])\r\n"
                                "\tby mx.example.org with ESMTPS; Tue, 7 Jul 2026 09:41:07 +0200\r\n"
                                "From: =?utf-8?q?Anna_Nov=C3=A1k?= <anna.novak@example.cz>\r\n"
                                "To: Team <team@example.org>\r\n"
                                "Subject: =?utf-8?q?Minutes_of_the_Z=C3=BCrich_meeting?=\r\n"
                                "Date: Tue, 7 Jul 2026 09:41:02 +0200\r\n"
                                "Message-ID: <minutes-2026-07-07@example.cz>\r\n"
                                "MIME-Version: 1.0\r\n"
                                "Content-Type: application/ms-tnef; name=\"winmail.dat\"\r\n";
    const std::string minutes = "Minutes - Zürich meeting, 7 July 2026\r\n\r\n"
                                "1. Budget approved (12 500 €).\r\n"
                                "2. Workshop venue: to be confirmed by Bruno.\r\n"
                                "3. Next review: 14 July.\r\n";

    TnefBuilder b(0x5A3C);
    b.Version()
        .OemCodePage(1252)
        .MessageClass("IPM.Note")
        .Attribute(1, 0x00018000, std::string(4, '\0')) // attFrom: an empty triple
        .Subject(Windows1252("Minutes of the Zürich meeting"))
        .DateRecord(1, 0x00038005, 2026, 7, 7, 9, 41, 2)
        .Attribute(1, 0x0005800D, LE16(1)) // attPriority: high
        .MapiProps(TnefPropList()
                       .Unicode(0x0037, "Minutes of the Zürich meeting")
                       .Unicode(0x0070, "Minutes of the Zürich meeting")
                       .Long(0x0017, 2) // IMPORTANCE high
                       .Long(0x0036, 0)
                       .Unicode(0x0042, "Anna Novák")
                       .Unicode(0x0064, "SMTP")
                       .Unicode(0x0065, "anna.novak@example.cz")
                       .Unicode(0x0C1A, "Anna Novák")
                       .Unicode(0x0C1F, "anna.novak@example.cz")
                       .Unicode(0x5D01, "anna.novak@example.cz")
                       .Unicode(0x0E04, "Team; Jan Dvořák")
                       .Unicode(0x0E03, "Bruno Keller")
                       .SysTime(0x0039, FileTimeOf(2026, 7, 7, 7, 41, 2))
                       .SysTime(0x0E06, FileTimeOf(2026, 7, 7, 7, 41, 7))
                       .Long(0x0E07, 0x11) // read, has attachments
                       .Unicode(0x1035, "<minutes-2026-07-07@example.cz>")
                       .Unicode(0x007D, headers)
                       .Unicode(0x1000, plain)
                       .Binary(0x1013, html)
                       .Binary(0x1009, CompressRtfLzfu(rtf))
                       .Long(0x3FDE, 65001)
                       .Long(0x3FFD, 1252)
                       .NamedString8(0x8001, kPsPublicStrings, "Keywords", "minutes"))
        .RecipientTable({ TnefPropList()
                              .Unicode(0x3001, "Team")
                              .Unicode(0x3002, "SMTP")
                              .Unicode(0x3003, "team@example.org")
                              .Unicode(0x39FE, "team@example.org")
                              .Long(0x0C15, 1),
            TnefPropList()
                .Unicode(0x3001, "Jan Dvořák")
                .Unicode(0x3002, "SMTP")
                .Unicode(0x3003, "jan.dvorak@example.cz")
                .Unicode(0x39FE, "jan.dvorak@example.cz")
                .Long(0x0C15, 1),
            TnefPropList()
                .Unicode(0x3001, "Bruno Keller")
                .Unicode(0x3002, "SMTP")
                .Unicode(0x3003, "bruno.keller@example.ch")
                .Unicode(0x39FE, "bruno.keller@example.ch")
                .Long(0x0C15, 2) });
    // A text file.
    b.AttachRenddata()
        .AttachTitle("MINUTE~1.TXT")
        .AttachData(minutes)
        .AttachmentProps(TnefPropList()
                             .Long(0x3705, 1)
                             .Unicode(0x3001, "minutes-zürich.txt")
                             .Unicode(0x3707, "minutes-zürich.txt")
                             .Unicode(0x3703, ".txt")
                             .Unicode(0x370E, "text/plain")
                             .Long(0x0E20, static_cast<int32_t>(minutes.size())));
    // An inline image the HTML body refers to.
    b.AttachRenddata()
        .AttachTitle("chart.png")
        .AttachData(kChartPng)
        .AttachmentProps(TnefPropList()
                             .Long(0x3705, 1)
                             .Unicode(0x3001, "chart.png")
                             .Unicode(0x3707, "chart.png")
                             .Unicode(0x3703, ".png")
                             .Unicode(0x370E, "image/png")
                             .Unicode(0x3712, "chart.png@tessaly.example")
                             .Long(0x0E20, static_cast<int32_t>(kChartPng.size())));
    // An attached message.
    b.AttachRenddata()
        .AttachTitle("Original request")
        .AttachmentProps(TnefPropList()
                             .Long(0x3705, 5)
                             .Unicode(0x3001, "Original request: venue for the Zürich workshop")
                             .Object(0x3701, AttachedMessage()));
    WriteFileBytes(argv[1], b.Bytes());
    return 0;
}
