// The shapes of hostile input that used to take time out of all proportion to the file, each at N = 10,000 and
// N = 80,000: the time of a linear path grows about eightfold between the two.
//   Recipients/N      To list of N names with N recipient rows, resolved (the .eml's To field)
//   EqualNames/N      the same with every recipient called "Bob"
//   DeferredDates/N   a TNEF message block with N legacy date attributes, loaded
//   Boundary/N        a mail whose body holds the first boundary candidates and N numbered variants of them

#include <benchmark/benchmark.h>

#include <string>

#include "pelmsg.h"

using namespace pelmsg;

namespace {

TMSGProperty* AddNode(TMSGProperties& collection, uint32_t tag, TValue value)
{
    TMSGProperty* node = collection.Add();
    node->TagID = tag;
    node->Value = std::move(value);
    return node;
}

void RecipientTree(TMSGProperties& tree, int n, bool sameName)
{
    std::string to;
    for (int i = 0; i < n; ++i) {
        std::string name = sameName ? std::string("Bob") : std::string("Person ").append(std::to_string(i));
        to.append(i ? ";" : "").append(name);
        TMSGProperty* row = AddNode(tree, kTagRecipientRow, {});
        AddNode(row->SubProperties, MakeTag(kIdDisplayName, PT_STRING8), ByteString(name));
        AddNode(row->SubProperties, MakeTag(kIdSmtpAddress, PT_STRING8),
            ByteString(std::string("p").append(std::to_string(i)).append("@example.org")));
    }
    AddNode(tree, MakeTag(kIdDisplayTo, PT_STRING8), ByteString(to));
}

void Recipients(benchmark::State& state, bool sameName)
{
    TMSGProperties tree;
    RecipientTree(tree, static_cast<int>(state.range(0)), sameName);
    for (auto _ : state)
        benchmark::DoNotOptimize(tree.ToList());
}

void BM_Recipients(benchmark::State& state) { Recipients(state, false); }
void BM_EqualNames(benchmark::State& state) { Recipients(state, true); }

void Append16(std::string& out, uint16_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void Append32(std::string& out, uint32_t v)
{
    Append16(out, static_cast<uint16_t>(v & 0xFFFF));
    Append16(out, static_cast<uint16_t>(v >> 16));
}

void Attribute(std::string& out, uint8_t level, uint32_t identifier, const std::string& data)
{
    out += static_cast<char>(level);
    Append32(out, identifier);
    Append32(out, static_cast<uint32_t>(data.size()));
    out += data;
    uint16_t sum = 0;
    for (char c : data)
        sum = static_cast<uint16_t>(sum + static_cast<unsigned char>(c));
    Append16(out, sum);
}

// A TNEF stream: version, n date-sent records, and n integer properties.
std::string DatedTnef(int n)
{
    std::string out;
    Append32(out, 0x223E9F78);
    Append16(out, 0x1234);
    std::string version;
    Append32(version, 0x00010000);
    Attribute(out, 1, 0x00089006, version);
    for (int i = 0; i < n; ++i) {
        std::string record;
        for (uint16_t field : { uint16_t(2020), uint16_t(1), uint16_t(1 + i % 28), uint16_t(10), uint16_t(0),
                 uint16_t(0), uint16_t(3) })
            Append16(record, field);
        Attribute(out, 1, 0x00038005, record);
    }
    std::string props;
    Append32(props, static_cast<uint32_t>(n));
    for (int i = 0; i < n; ++i) {
        Append32(props, MakeTag(static_cast<uint16_t>(0x6000 + i % 0x100), PT_LONG));
        Append32(props, static_cast<uint32_t>(i));
    }
    Attribute(out, 1, 0x00069003, props);
    return out;
}

void BM_DeferredDates(benchmark::State& state)
{
    const std::string bytes = DatedTnef(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TPelTNEFFile file;
        TMemoryStream stream(bytes);
        file.LoadFromStream(stream);
        benchmark::DoNotOptimize(file.Properties().Count());
    }
}

// A stream that only counts.
class TCountingStream final : public TStream {
public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t count) override
    {
        size_ += static_cast<int64_t>(count);
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return size_; }
    int64_t Size() const override { return size_; }
    int64_t Position() const override { return size_; }

private:
    int64_t size_ = 0;
};

void BM_Boundary(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    // 1 MB of text, then the boundary candidates a writer might try in turn.
    std::string body(1 << 20, 'x');
    body += "\r\n--AB9DB43ABB3246E63E5\r\n--=_NextPart_AB9DB43ABB3246E63E5\r\n";
    for (int i = 1; i <= n; ++i)
        body += "--AB9DB43ABB3246E63E5_" + std::to_string(i) + "\r\n----=_Part_" + std::to_string(i) + "\r\n";
    TMSGProperties tree;
    AddNode(tree, MakeTag(kIdSubject, PT_STRING8), ByteString("boundaries"));
    AddNode(tree, MakeTag(kIdBody, PT_STRING8), ByteString(body));
    TMSGProperty* attachment = AddNode(tree, kTagTnefAttachment, {});
    AddNode(attachment->SubProperties, kTagAttachDataBinary, ByteString("data"));
    for (auto _ : state) {
        TCountingStream out;
        SaveToEML(tree, &out);
        benchmark::DoNotOptimize(out.Size());
    }
}

} // namespace

BENCHMARK(BM_Recipients)->Arg(10000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EqualNames)->Arg(10000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeferredDates)->Arg(10000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Boundary)->Arg(10000)->Arg(80000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
