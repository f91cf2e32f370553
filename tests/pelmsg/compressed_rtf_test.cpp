#include <gtest/gtest.h>

#include "lzfu.h"
#include "pelmsg.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

std::string Header(uint32_t compressedSize, uint32_t rawSize, const char* magic, uint32_t crc = 0)
{
    std::string h;
    for (uint32_t v : { compressedSize, rawSize })
        for (int i = 0; i < 4; ++i)
            h += static_cast<char>(v >> (8 * i));
    h += std::string(magic, 4);
    for (int i = 0; i < 4; ++i)
        h += static_cast<char>(crc >> (8 * i));
    return h;
}

TMSGPropertyCompressedRTF* LoadNode(TMSGProperties& c, const std::string& bytes)
{
    auto* node = c.AddNode<TMSGPropertyCompressedRTF>();
    node->TagID = 0x10090102;
    TSpanStream s(bytes);
    node->ReadValue(s, static_cast<uint32_t>(bytes.size()));
    return node;
}

} // namespace

TEST(CompressedRtf, KindsAndRecordedSizes)
{
    TMSGProperties c;
    // 16 bytes or fewer: no header, the bytes are the text.
    auto* bare = LoadNode(c, std::string(16, 'x'));
    EXPECT_EQ(bare->CompressionKind, TCompressedRtfKind::NoHeader);
    EXPECT_EQ(std::get<ByteString>(bare->Value), std::string(16, 'x'));
    EXPECT_EQ(c.BodyKind, TBodyKind::Rtf);
    // "MELA": the raw-size bytes unchanged, recorded size twice the raw size.
    auto* mela = LoadNode(c, Header(17, 5, "MELA") + "{\\rtf}");
    EXPECT_EQ(mela->CompressionKind, TCompressedRtfKind::Uncompressed);
    EXPECT_EQ(std::get<ByteString>(mela->Value), "{\\rtf");
    EXPECT_EQ(mela->DataSize, 10u);
    // An unknown magic keeps every byte.
    std::string odd = Header(20, 4, "ABCD") + "text";
    EXPECT_EQ(std::get<ByteString>(LoadNode(c, odd)->Value), odd);
}

TEST(CompressedRtf, DecompressesRunsAndStopsAtTheEndReference)
{
    // Literals "ab", then a reference back to them with length 6: the copy reads bytes it is writing itself.
    std::string body;
    body += static_cast<char>(0x04 | 0x08); // bit 2: reference; bit 3: reference (the end)
    body += "ab";
    uint16_t run = static_cast<uint16_t>(207 << 4 | (6 - 2));
    body += static_cast<char>(run >> 8);
    body += static_cast<char>(run & 0xFF);
    uint16_t end = static_cast<uint16_t>((207 + 8) << 4);
    body += static_cast<char>(end >> 8);
    body += static_cast<char>(end & 0xFF);
    std::string stream = Header(static_cast<uint32_t>(body.size() + 12), 8, "LZFu") + body;
    TCompressedRtf out = DecodeCompressedRtf(stream);
    EXPECT_EQ(out.Kind, TCompressedRtfKind::Compressed);
    EXPECT_EQ(out.Text, "abababab");
    EXPECT_EQ(out.RecordedSize, 16u);

    // A real body round trip, and every truncation of it decodes to a prefix without failing.
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252 Hello {\\b bold} world, world, world.\\par}";
    std::string compressed = CompressRtfLzfu(rtf);
    EXPECT_EQ(DecodeCompressedRtf(compressed).Text, rtf);
    for (size_t n = 0; n < compressed.size(); ++n) {
        std::string text = DecodeCompressedRtf(compressed.substr(0, n)).Text;
        if (n > 16) {
            EXPECT_EQ(rtf.compare(0, text.size(), text), 0) << n;
        }
    }
    // A hostile raw size reserves nothing it cannot fill.
    std::string huge = Header(static_cast<uint32_t>(body.size() + 12), 0xFFFFFFF0u, "LZFu") + body;
    EXPECT_EQ(DecodeCompressedRtf(huge).Text, "abababab");
}

TEST(CompressedRtf, WritesTheUncompressedForm)
{
    std::string rtf = "{\\rtf1 text}";
    std::string stream = UncompressedRtfStream(rtf, true);
    EXPECT_EQ(stream.substr(16), rtf);
    EXPECT_EQ(stream.substr(0, 16),
        Header(static_cast<uint32_t>(rtf.size() + 12), static_cast<uint32_t>(rtf.size()), "MELA", Crc32OfText(rtf)));
    EXPECT_EQ(UncompressedRtfStream(rtf, false), rtf);
    // Read back, the same text.
    EXPECT_EQ(DecodeCompressedRtf(stream).Text, rtf);
    EXPECT_EQ(Crc32OfText("123456789"), 0xCBF43926u);
}
