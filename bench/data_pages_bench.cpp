// The Properties page with large messages: filling the property tree of a message with 100,000 properties,
// selecting a 100 MB attachment value (detail panel, value text and hex dump), and painting one screen of the hex
// dump at the end of that value. Runs on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen build/release/bench/data_pages_bench

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <QTreeView>

#include "hex_dump.h"
#include "pelmsg.h"
#include "property_pages.h"

namespace {

// A message of n properties in the shape of a real one: mostly top-level values of every kind, with recipients
// and attachments holding their own.
std::unique_ptr<pelmsg::TPelMessage> LargeMessage(int n)
{
    auto message = std::make_unique<pelmsg::TPelMessage>();
    pelmsg::TMSGProperties& root = message->Properties();
    int made = 0;
    while (made < n) {
        pelmsg::TMSGProperty* p = root.Add();
        switch (made % 5) {
        case 0:
            p->TagID = 0x0037001F;
            p->Value = pelmsg::WideString(u"Subject of the message");
            break;
        case 1:
            p->TagID = 0x0E070003;
            p->Value = int32_t(made);
            break;
        case 2:
            p->TagID = 0x00390040;
            p->Value = pelmsg::TDateTime { 45000.5 + made };
            break;
        case 3:
            p->TagID = 0x00710102;
            p->Value = pelmsg::ByteString(22, '\x11');
            break;
        default: {
            p->TagID = pelmsg::kTagRecipientRow;
            for (int i = 0; i < 3 && made < n; ++i, ++made) {
                pelmsg::TMSGProperty* c = p->SubProperties.Add();
                c->TagID = 0x3001001F;
                c->Value = pelmsg::WideString(u"Ann Example");
            }
            break;
        }
        }
        ++made;
    }
    return message;
}

void BM_FillPropertyTree(benchmark::State& state)
{
    auto message = LargeMessage(int(state.range(0)));
    quorra::TPropertiesPage widget;
    widget.resize(1000, 700);
    widget.show();
    QApplication::processEvents();
    for (auto _ : state) {
        widget.Fill(message.get());
        // The rows in view are laid out and painted as the window would.
        widget.repaint();
        widget.Fill(nullptr);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillPropertyTree)->Arg(100000)->Unit(benchmark::kMillisecond);

struct TBigValue {
    std::unique_ptr<pelmsg::TPelMessage> Message = std::make_unique<pelmsg::TPelMessage>();
    pelmsg::TMSGProperty* Data;
    pelmsg::TMSGProperty* Other;
    TBigValue()
    {
        pelmsg::TMSGProperty* attachment = Message->Properties().Add();
        attachment->TagID = pelmsg::kTagTnefAttachment;
        Other = attachment->SubProperties.Add();
        Other->TagID = 0x3707001F;
        Other->Value = pelmsg::WideString(u"big.bin");
        Data = attachment->SubProperties.Add();
        Data->TagID = 0x37010102;
        pelmsg::ByteString bytes(size_t(100) << 20, '\0');
        for (size_t i = 0; i < bytes.size(); i += 4096)
            bytes[i] = char(i >> 12);
        Data->DataSize = uint32_t(bytes.size());
        Data->Value = std::move(bytes);
    }
};

void BM_SelectHugeValue(benchmark::State& state)
{
    TBigValue big;
    quorra::TPropertiesPage widget;
    quorra::TPropertiesPage* page = &widget;
    widget.resize(1000, 700);
    widget.show();
    widget.Fill(big.Message.get());
    widget.findChild<QTabWidget*>("pcValue")->setCurrentIndex(state.range(0));
    const QModelIndex data = page->Model()->IndexOf(big.Data);
    const QModelIndex other = page->Model()->IndexOf(big.Other);
    page->Tree()->expandAll();
    QApplication::processEvents();
    for (auto _ : state) {
        page->Tree()->setCurrentIndex(data);
        widget.repaint();
        state.PauseTiming();
        page->Tree()->setCurrentIndex(other);
        state.ResumeTiming();
    }
}
// 0: with the Value page in front (text of the value's start); 1: with the hex dump in front.
BENCHMARK(BM_SelectHugeValue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PaintHexDumpAtTheEnd(benchmark::State& state)
{
    TBigValue big;
    const auto& bytes = std::get<pelmsg::ByteString>(big.Data->Value);
    quorra::THexDump dump;
    dump.resize(700, 600);
    dump.SetRelativeAddress(true);
    dump.show();
    dump.SetData(bytes.data());
    dump.SetDataSize(bytes.size());
    dump.SetCurrentLine(dump.LineCount() - 1);
    QApplication::processEvents();
    for (auto _ : state)
        dump.viewport()->repaint();
    state.counters["rows"] = double(dump.VisibleRows());
}
BENCHMARK(BM_PaintHexDumpAtTheEnd)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
