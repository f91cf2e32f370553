// The data pages driven through their real widgets: the hex dump control, the property tree with its detail
// panel, filter and value commands, the structure page of compound files (against python3-olefile), the flags
// page, and every node of every corpus TNEF file.

#include <QClipboard>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileDialog>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTreeView>
#include <QTreeWidget>

#include <map>
#include <set>

#include "header_pages.h"
#include "hex_dump.h"
#include "pelmsg.h"
#include "property_pages.h"
#include "structure_page.h"
#include "test_data.h"
#include "window_test_support.h"

#include "open_document.h"

using namespace quorra;
using quorra_test::TIsolatedHome;
using quorra_test::TModalHandler;

namespace {

pelmsg::TMSGProperty* Add(pelmsg::TMSGProperties& c, uint32_t tag, pelmsg::TValue value = {}, uint32_t size = 0)
{
    pelmsg::TMSGProperty* p = c.Add();
    p->TagID = tag;
    p->Value = std::move(value);
    p->DataSize = size;
    return p;
}

QString Hex(std::string_view bytes)
{
    return QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toHex(' ').toUpper());
}

QByteArray DumpBytes(const THexDump& dump)
{
    return QByteArray(reinterpret_cast<const char*>(dump.DataAddress()), qsizetype(dump.DumpSize()));
}

// Every index of the model, depth first.
void Walk(const QAbstractItemModel& model, const QModelIndex& parent, QList<QModelIndex>& out)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        QModelIndex index = model.index(row, 0, parent);
        out << index;
        Walk(model, index, out);
    }
}

// A page on its own widget, of a size like the window's.
struct TPage {
    TPropertiesPage widget;
    TPropertiesPage* page = &widget;
    TPage()
    {
        widget.resize(900, 600);
        widget.show();
    }
    template <class T> T* Find(const char* name) { return widget.findChild<T*>(QLatin1String(name)); }
    void Select(const pelmsg::TMSGProperty* p)
    {
        QModelIndex index = page->Model()->IndexOf(p);
        QVERIFY(index.isValid());
        page->Tree()->setCurrentIndex(index);
    }
};

} // namespace

class TestDataPages : public QObject {
    Q_OBJECT

private slots:
    // ---- Hex dump control ----

    void twentyBytesMakeTwoLines()
    {
        THexDump dump;
        dump.resize(1200, 200);
        dump.show();
        dump.SetRelativeAddress(true);
        QByteArray bytes;
        for (int i = 0; i < 20; ++i)
            bytes.append(char(0x41 + i));
        bytes[17] = 0x09;
        dump.SetData(bytes.constData());
        dump.SetDataSize(uint64_t(bytes.size()));
        QCOMPARE(dump.BytesPerLine(), 16);
        QCOMPARE(dump.LineCount(), 2);
        QCOMPARE(dump.LineBytes(1), 4);
        QCOMPARE(dump.HexText(1), "51 09 53 54");
        QCOMPARE(dump.CharText(1), "Q.ST");
        QCOMPARE(dump.HexText(0).size(), 16 * 3 - 1);
        // As many digits as the last offset needs, at least four.
        QCOMPARE(dump.AddressText(0), "0000: ");
        QCOMPARE(dump.AddressText(1), "0010: ");
        // Without RelativeAddress the address is the memory address of the data.
        dump.SetRelativeAddress(false);
        QCOMPARE(dump.AddressText(0).left(2 * int(sizeof(void*))),
            QStringLiteral("%1").arg(quintptr(bytes.constData()), 2 * int(sizeof(void*)), 16, QLatin1Char('0')).toUpper());
    }

    void bytesPerLineFollowsTheWidth_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("address");
        QTest::addColumn<bool>("characters");
        QTest::newRow("too narrow for one byte") << 20 << true << true;
        QTest::newRow("middle, both columns") << 400 << true << true;
        QTest::newRow("middle, hex only") << 400 << false << false;
        QTest::newRow("very wide") << 3000 << true << true;
    }

    void bytesPerLineFollowsTheWidth()
    {
        QFETCH(int, width);
        QFETCH(bool, address);
        QFETCH(bool, characters);
        THexDump dump;
        dump.SetRelativeAddress(true);
        dump.SetShowAddress(address);
        dump.SetShowCharacters(characters);
        dump.resize(width, 200);
        dump.show();
        QByteArray bytes(1000, 'x');
        dump.SetData(bytes.constData());
        dump.SetDataSize(1000);
        // 1000 bytes: offsets of four digits and ": ". Rows of 16, 8, 4, 2 or 1 bytes, the most that fit.
        const int chars = dump.viewport()->width() / dump.CharWidth() - (address ? 6 : 0);
        int expected = 16;
        while (expected > 1 && expected > chars / (characters ? 4 : 3))
            expected /= 2;
        QCOMPARE(dump.BytesPerLine(), expected);
        QCOMPARE(dump.LineCount(), (1000 + expected - 1) / expected);
        QVERIFY(dump.BytesPerLine() >= 1 && dump.BytesPerLine() <= 16);
    }

    void noDataEmptiesTheView()
    {
        THexDump dump;
        dump.resize(600, 200);
        QByteArray bytes(5000, 'x');
        dump.SetData(bytes.constData());
        dump.SetDataSize(5000);
        QVERIFY(dump.verticalScrollBar()->maximum() > 0);
        dump.SetData(nullptr);
        QCOMPARE(dump.DumpSize(), 0u);
        QCOMPARE(dump.LineCount(), 0);
        QCOMPARE(dump.verticalScrollBar()->maximum(), 0);
    }

    void keyboardAndScrolling()
    {
        THexDump dump;
        dump.resize(1200, 200);
        dump.show();
        QByteArray bytes(16 * 100, 'x');
        dump.SetData(bytes.constData());
        dump.SetDataSize(uint64_t(bytes.size()));
        QCOMPARE(dump.LineCount(), 100);
        const int rows = dump.VisibleRows();
        QVERIFY(rows > 3);
        QTest::keyClick(&dump, Qt::Key_Down);
        QCOMPARE(dump.CurrentLine(), 1);
        QTest::keyClick(&dump, Qt::Key_PageDown);
        QCOMPARE(dump.CurrentLine(), 1 + rows);
        // The partly shown last row counts as hidden.
        QCOMPARE(dump.TopLine(), 1 + rows - rows + 2);
        QTest::keyClick(&dump, Qt::Key_PageUp);
        QCOMPARE(dump.CurrentLine(), 1);
        QTest::keyClick(&dump, Qt::Key_Up);
        QTest::keyClick(&dump, Qt::Key_Up);
        QCOMPARE(dump.CurrentLine(), 0);
        QTest::keyClick(&dump, Qt::Key_End);
        QCOMPARE(dump.CurrentLine(), 99);
        QCOMPARE(dump.TopLine(), 99 - rows + 2);
        // Page Down on the last line does nothing; Home shows line 0 at the top.
        QTest::keyClick(&dump, Qt::Key_PageDown);
        QCOMPARE(dump.CurrentLine(), 99);
        QTest::keyClick(&dump, Qt::Key_Home);
        QCOMPARE(dump.CurrentLine(), 0);
        QCOMPARE(dump.TopLine(), 0);

        // The scroll bar: line, page, bottom, top.
        QScrollBar* bar = dump.verticalScrollBar();
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(dump.TopLine(), 1);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(dump.TopLine(), 1 + rows - 1);
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(dump.TopLine(), 1);
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(dump.TopLine(), 99);
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(dump.TopLine(), 0);
        // A click makes the line under the pointer current.
        QTest::mouseClick(dump.viewport(), Qt::LeftButton, {}, QPoint(20, dump.LineHeight() * 2 + 1));
        QCOMPARE(dump.CurrentLine(), 2);
        // A new value starts at its first line.
        QTest::keyClick(&dump, Qt::Key_End);
        dump.SetData(bytes.constData());
        QCOMPARE(dump.CurrentLine(), 0);
        QCOMPARE(dump.TopLine(), 0);
    }

    void paintingCostsTheRowsInView()
    {
        THexDump dump;
        dump.resize(600, 300);
        dump.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dump));
        std::string big(size_t(32) << 20, '\x5A');
        dump.SetData(big.data());
        dump.SetDataSize(big.size());
        QTest::keyClick(&dump, Qt::Key_End);
        const int64_t before = dump.PaintedRows();
        dump.viewport()->repaint();
        const int64_t painted = dump.PaintedRows() - before;
        QVERIFY(painted > 0);
        QVERIFY2(painted <= dump.VisibleRows(), qPrintable(QString::number(painted)));
        QCOMPARE(dump.HexText(dump.LineCount() - 1).left(2), "5A");
    }

    // ---- Property tree and detail panel ----

    void everyTopLevelPropertyIsShown()
    {
        pelmsg::TPelMessage message;
        for (int i = 0; i < 1100; ++i)
            Add(message.Properties(), pelmsg::MakeTag(0x0037, pelmsg::PT_UNICODE));
        pelmsg::TMSGProperty* recipient = Add(message.Properties(), pelmsg::kTagRecipientRow);
        for (int i = 0; i < 3; ++i)
            Add(recipient->SubProperties, 0x3001001F, pelmsg::WideString(u"Ann"));
        TPage page;
        page.widget.Fill(&message);
        QAbstractItemModel* model = page.page->Tree()->model();
        // Nothing is cut at 1002: all 1101 top-level nodes and the children of the last one.
        QCOMPARE(model->rowCount(), 1101);
        QCOMPARE(model->index(0, 0).data().toString(), "SUBJECT");
        QCOMPARE(model->index(1100, 0).data().toString(), "Recipient");
        QCOMPARE(model->rowCount(model->index(1100, 0)), 3);
        page.widget.Fill(nullptr);
        QCOMPARE(model->rowCount(), 0);
    }

    void iconsAndTexts()
    {
        pelmsg::TPelMessage message;
        pelmsg::TMSGProperties& root = message.Properties();
        pelmsg::TMSGProperty* recipient = Add(root, pelmsg::kTagRecipientRow);
        pelmsg::TMSGProperty* name = Add(recipient->SubProperties, 0x3001001F, pelmsg::WideString(u"Ann"));
        pelmsg::TMSGProperty* attachment = Add(root, pelmsg::kTagTnefAttachment);
        pelmsg::TMSGProperty* file = Add(attachment->SubProperties, 0x3704001F, pelmsg::WideString(u"a.txt"));
        pelmsg::TMSGProperty* list = Add(root, 0);
        Add(list->SubProperties, 0x0037001F, pelmsg::WideString(u"x"));
        pelmsg::TMSGProperty* nameless = Add(root, 0x00FE0003, int32_t(5));
        pelmsg::TMSGProperty* emptyList = Add(root, 0);
        pelmsg::TMSGProperty* named = Add(root, 0x8005001F, pelmsg::WideString(u"blue"));
        named->NamedId = std::make_unique<pelmsg::TNamedPropertyId>();
        named->NamedId->Guid = *pelmsg::GuidFromText("{00020329-0000-0000-C000-000000000046}");
        named->NamedId->IsString = true;
        named->NamedId->Name = u"Keywords";
        pelmsg::TMSGProperty* numbered = Add(root, 0x8006000B, true);
        numbered->NamedId = std::make_unique<pelmsg::TNamedPropertyId>();
        numbered->NamedId->Guid = *pelmsg::GuidFromText("{01020304-0506-0708-090A-0B0C0D0E0F10}");
        numbered->NamedId->Number = 0x8554;
        TPage page;
        page.widget.Fill(&message);
        TPropertyTreeModel* model = page.page->Model();
        struct {
            const pelmsg::TMSGProperty* node;
            QString text;
            int icon;
        } expected[] = {
            { recipient, "Recipient", 2 },
            { name, "DISPLAY_NAME", 3 },
            { attachment, "Attachment", 4 },
            { file, "ATTACH_FILENAME", 5 },
            { list, "Properties", 6 },
            { nameless, "0x00FE0003", 0 },
            { emptyList, "0x00000000", 6 },
            { named, "Keywords (PS_PUBLIC_STRINGS)", 10 },
            { numbered, "0x8554 ({01020304-0506-0708-090A-0B0C0D0E0F10})", 10 },
        };
        for (const auto& e : expected) {
            QModelIndex index = model->IndexOf(e.node);
            QVERIFY(index.isValid());
            QCOMPARE(index.data().toString(), e.text);
            QCOMPARE(index.data(TPropertyTreeModel::IconRole).toInt(), e.icon);
        }
        // The detail panel names a named property with its property set and GUID.
        page.Select(named);
        QCOMPARE(page.Find<QLineEdit>("edPropName")->text(),
            "Keywords (PS_PUBLIC_STRINGS {00020329-0000-0000-C000-000000000046})");
        QCOMPARE(page.Find<QPlainTextEdit>("rePropValue")->toPlainText(), "blue");
        page.Select(numbered);
        QCOMPARE(page.Find<QPlainTextEdit>("rePropValue")->toPlainText(), "True");
    }

    void typeList_data()
    {
        quorra_test::AddRows<uint, bool, int, QString>({ "tag", "multiValued", "item", "shown" },
            {
                { "long", 0x0E070003u, false, 4, "PT_LONG: Signed 32-bit value" },
                { "binary", 0x37010102u, false, 17, "PT_BINARY: Uninterpreted (counted byte array)" },
                { "unspecified", 0x00010000u, false, 1, "" },
                { "multi-value flag alone", 0x00011000u, false, 0, "MV_FLAG: Multi-value flag" },
                { "multi-valued string", 0x8001101Eu, false, -1, "PT_MV_STRING8" },
                { "value of a multi-valued TNEF property", 0x8001001Fu, true, -1, "PT_MV_UNICODE" },
                { "unknown type", 0x0001ABCDu, false, -1, "0xABCD" },
            });
    }

    void typeList()
    {
        QFETCH(uint, tag);
        QFETCH(bool, multiValued);
        QFETCH(int, item);
        QFETCH(QString, shown);
        pelmsg::TPelMessage message;
        Add(message.Properties(), 0x0037001F, pelmsg::WideString(u"other"));
        pelmsg::TMSGProperty* p = Add(message.Properties(), tag, pelmsg::ByteString("ab"), 2);
        p->MultiValued = multiValued;
        TPage page;
        page.widget.Fill(&message);
        QCOMPARE(page.Find<QComboBox>("cbPropType")->count(), 18);
        page.Select(p);
        auto* types = page.Find<QComboBox>("cbPropType");
        QCOMPARE(types->currentIndex(), item);
        if (item >= 0)
            QCOMPARE(types->currentText().left(shown.size()), shown);
        else
            QCOMPARE(types->placeholderText(), shown);
        QCOMPARE(page.Find<QLineEdit>("edPropID")->text(),
            QStringLiteral("0x%1").arg(multiValued ? tag | 0x1000 : tag, 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x"));
    }

    void detailPanelFollowsTheSelection()
    {
        pelmsg::TPelMessage message;
        pelmsg::TMSGProperty* subject = Add(message.Properties(), 0x0037001F, pelmsg::WideString(u"Hello\r\nthere\0", 14), 14);
        TPage page;
        page.widget.Fill(&message);
        auto* group = page.Find<QGroupBox>("gbPropInfo");
        QVERIFY(!group->isVisible());
        page.Select(subject);
        QVERIFY(group->isVisible());
        QCOMPARE(page.Find<QComboBox>("cbPropCategory")->currentText(), "mpcEnvelope");
        QCOMPARE(page.Find<QComboBox>("cbPropCategory")->count(), 20);
        QCOMPARE(page.Find<QLineEdit>("edPropID")->text(), "0x0037001F");
        QVERIFY(page.Find<QLineEdit>("edPropName")->text().startsWith("SUBJECT ("));
        QCOMPARE(page.Find<QLineEdit>("edPropSize")->text(), "14");
        QCOMPARE(page.Find<QPlainTextEdit>("rePropValue")->toPlainText(), "Hello\nthere");
        QVERIFY(!page.Find<QLabel>("lblValueLimit")->isVisible());
        page.page->Tree()->setCurrentIndex(QModelIndex());
        QVERIFY(!group->isVisible());
        QCOMPARE(page.Find<QLineEdit>("edPropID")->text(), "");
    }

    void hexViewShowsTheValuesOwnBytes_data()
    {
        QTest::addColumn<uint>("tag");
        QTest::addColumn<int>("kind");
        QTest::addColumn<uint>("dataSize");
        QTest::addColumn<QString>("hex");
        QTest::newRow("binary") << 0x37010102u << 0 << 6u << "00 FF 10 00 41 00";
        QTest::newRow("binary, DataSize shorter") << 0x37010102u << 0 << 3u << "00 FF 10";
        QTest::newRow("wide string as UTF-16LE") << 0x0037001Fu << 1 << 6u << "5A 00 FC 00 00 00";
        QTest::newRow("8-bit string as stored") << 0x0037001Eu << 2 << 4u << "43 61 66 E9";
        QTest::newRow("long, little-endian") << 0x0E070003u << 3 << 4u << "11 20 00 00";
        QTest::newRow("boolean") << 0x0057000Bu << 4 << 2u << "01 00";
    }

    void hexViewShowsTheValuesOwnBytes()
    {
        QFETCH(uint, tag);
        QFETCH(int, kind);
        QFETCH(uint, dataSize);
        QFETCH(QString, hex);
        pelmsg::TPelMessage message;
        pelmsg::TValue values[] = { pelmsg::ByteString("\x00\xFF\x10\x00\x41\x00", 6),
            pelmsg::WideString(u"Z\u00FC\0", 3), pelmsg::ByteString("Caf\xE9"), int32_t(0x2011), true };
        pelmsg::TMSGProperty* p = Add(message.Properties(), tag, values[kind], dataSize);
        TPage page;
        page.widget.Fill(&message);
        page.Find<QTabWidget>("pcValue")->setCurrentIndex(1);
        page.Select(p);
        THexDump* dump = page.page->HexDump();
        QCOMPARE(Hex(std::string_view(DumpBytes(*dump).constData(), size_t(dump->DumpSize()))), hex);
        QCOMPARE(dump->LineCount(), 1);
    }

    void largeValueIsBoundedInTheTextView()
    {
        pelmsg::TPelMessage message;
        pelmsg::ByteString big(size_t(8) << 20, 'a');
        big[big.size() - 1] = 'z';
        pelmsg::TMSGProperty* p = Add(message.Properties(), 0x1000001E, big, uint32_t(big.size()));
        TPage page;
        page.widget.Fill(&message);
        page.Select(p);
        const QString text = page.Find<QPlainTextEdit>("rePropValue")->toPlainText();
        QCOMPARE(text.size(), kValueTextChars);
        auto* note = page.Find<QLabel>("lblValueLimit");
        QVERIFY(!note->isHidden());
        QVERIFY2(note->text().contains(QLocale().toString(qulonglong(big.size()))), qPrintable(note->text()));
        // The hex view has all of it, to the last byte.
        THexDump* dump = page.page->HexDump();
        QCOMPARE(dump->DumpSize(), uint64_t(big.size()));
        QCOMPARE(dump->DataAddress(), reinterpret_cast<const uint8_t*>(std::get<pelmsg::ByteString>(p->Value).data()));
        dump->SetCurrentLine(dump->LineCount() - 1);
        QVERIFY(dump->CharText(dump->LineCount() - 1).endsWith("z"));
    }

    void filterKeepsThePathToEachMatch()
    {
        pelmsg::TPelMessage message;
        for (int i = 0; i < 1000; ++i)
            Add(message.Properties(), 0x0E070003, int32_t(i));
        pelmsg::TMSGProperty* attachment = Add(message.Properties(), pelmsg::kTagTnefAttachment);
        Add(attachment->SubProperties, 0x0E070003, int32_t(1));
        pelmsg::TMSGProperty* file = Add(attachment->SubProperties, 0x3707001F, pelmsg::WideString(u"Quarterly report.pdf"));
        TPage page;
        page.widget.Fill(&message);
        QAbstractItemModel* model = page.page->Tree()->model();
        auto* filter = page.Find<QLineEdit>("edPropFilter");
        QTest::keyClicks(filter, "REPORT");
        // Only the attachment remains at the top, with the matching child below it, shown open.
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, 0).data().toString(), "Attachment");
        QCOMPARE(model->rowCount(model->index(0, 0)), 1);
        QCOMPARE(model->index(0, 0, model->index(0, 0)).data().toString(), "ATTACH_LONG_FILENAME");
        QVERIFY(page.page->Tree()->isExpanded(model->index(0, 0)));
        // By tag, and by value; the selection stays when the filter is cleared.
        page.Select(file);
        filter->setText("0x3707");
        QCOMPARE(model->rowCount(), 1);
        filter->setText("999");
        QCOMPARE(model->rowCount(), 1);
        QVERIFY(!page.page->Current());
        filter->setText("0x3707001f");
        page.Select(file);
        filter->clear();
        QCOMPARE(model->rowCount(), 1001);
        QCOMPARE(page.page->Current(), file);
        QVERIFY(page.Find<QGroupBox>("gbPropInfo")->isVisible());
    }

    // Item 5: the filter finds what people type, without regard to case or accents.
    void filterIgnoresCaseAndAccents_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("rows");
        QTest::newRow("no accent") << "novak" << 1;
        QTest::newRow("upper case") << "NOVÁK" << 1;
        QTest::newRow("sharp s") << "hauptstrasse" << 1;
        QTest::newRow("both") << "a" << 2;
        QTest::newRow("other letter") << "novac" << 0;
    }
    void filterIgnoresCaseAndAccents()
    {
        QFETCH(QString, typed);
        QFETCH(int, rows);
        pelmsg::TPelMessage message;
        Add(message.Properties(), 0x0042001F, pelmsg::WideString(u"Jana Novák"));
        Add(message.Properties(), 0x3A29001F, pelmsg::WideString(u"Hauptstraße 5"));
        TPage page;
        page.widget.Fill(&message);
        QTest::keyClicks(page.Find<QLineEdit>("edPropFilter"), typed);
        QCOMPARE(page.page->Tree()->model()->rowCount(), rows);
    }

    // Item 3: an HTML body stored as bytes shows in its own charset (INTERNET_CPID, or its meta tag), not in the
    // message's code page.
    void htmlBodyIsShownInItsOwnCharset_data()
    {
        QTest::addColumn<int>("internetCodePage");
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("shown");
        QTest::newRow("internet code page")
            << 65001 << QByteArray("<p>Z\xC3\xBCrich \xE2\x82\xAC</p>") << QString::fromUtf8("<p>Zürich €</p>");
        QTest::newRow("meta charset") << 0 << QByteArray("<meta charset=utf-8><p>Z\xC3\xBC</p>")
                                      << QString::fromUtf8("<meta charset=utf-8><p>Zü</p>");
    }
    void htmlBodyIsShownInItsOwnCharset()
    {
        QFETCH(int, internetCodePage);
        QFETCH(QByteArray, html);
        QFETCH(QString, shown);
        pelmsg::TPelMessage message;
        Add(message.Properties(), pelmsg::kTagMessageCodePage, int32_t(1252));
        if (internetCodePage)
            Add(message.Properties(), pelmsg::kTagInternetCodePage, int32_t(internetCodePage));
        pelmsg::TMSGProperty* body
            = Add(message.Properties(), 0x10130102, pelmsg::ByteString(html.toStdString()), uint32_t(html.size()));
        TPage page;
        page.widget.Fill(&message);
        page.Select(body);
        QCOMPARE(page.Find<QPlainTextEdit>("rePropValue")->toPlainText(), shown);
    }

    // Item 9: the zero date-time (a date that could not be read) is no date, never 30 December 1899.
    void zeroDateIsShownAsNoDate()
    {
        pelmsg::TPelMessage message;
        pelmsg::TMSGProperty* sent = Add(message.Properties(), 0x00390040, pelmsg::TDateTime { 0 }, 8);
        TPage page;
        page.widget.Fill(&message);
        page.Select(sent);
        QCOMPARE(page.Find<QPlainTextEdit>("rePropValue")->toPlainText(), QString());
        QAbstractItemModel* model = page.page->Tree()->model();
        QVERIFY2(
            !model->index(0, 1).data().toString().contains("1899"), qPrintable(model->index(0, 1).data().toString()));
    }

    void valueCanBeCopiedAndSaved()
    {
        TIsolatedHome home;
        pelmsg::TPelMessage message;
        pelmsg::TMSGProperty* attachment = Add(message.Properties(), pelmsg::kTagTnefAttachment);
        Add(attachment->SubProperties, 0x3707001F, pelmsg::WideString(u"photo.jpg"));
        pelmsg::ByteString data;
        for (int i = 0; i < 40; ++i)
            data += char(i * 7);
        pelmsg::TMSGProperty* bin = Add(attachment->SubProperties, 0x37010102, data, uint32_t(data.size()));
        TPage page;
        page.widget.Fill(&message);
        page.Select(bin);
        page.Find<QPushButton>("btnCopyHex")->click();
        const QString hex = QApplication::clipboard()->text();
        QCOMPARE(hex.count('\n'), 3);
        QVERIFY(hex.startsWith("00 07 0E 15"));
        QCOMPARE(QByteArray::fromHex(hex.toLatin1()), QByteArray(data.data(), qsizetype(data.size())));

        // Save value asks for a file, suggesting the attachment's own name, and writes the raw bytes there.
        const QString target = home.Path("home/photo.jpg");
        QString suggested;
        {
            TModalHandler dialogs([&](QDialog* d) {
                auto* files = qobject_cast<QFileDialog*>(d);
                if (!files) {
                    TModalHandler::CloseAll(d);
                    return;
                }
                suggested = files->selectedFiles().value(0);
                files->setDirectory(QFileInfo(target).absolutePath());
                QMetaObject::invokeMethod(files, "accept");
            });
            page.Find<QPushButton>("btnSaveValue")->click();
            QCOMPARE(dialogs.Count(), 1);
        }
        QVERIFY2(suggested.endsWith("/photo.jpg"), qPrintable(suggested));
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray(data.data(), qsizetype(data.size())));

        pelmsg::TMSGProperty* subject = Add(message.Properties(), 0x0037001F, pelmsg::WideString(u"Grüße"));
        page.widget.Fill(&message);
        page.Select(subject);
        page.Find<QPushButton>("btnCopyValue")->click();
        QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("Grüße"));
    }

    // ---- Structure page ----

    void structureShowsTheStatistics()
    {
        TIsolatedHome home;
        const std::string path = home.Path("home/layout.msg").toStdString();
        const pelmsg::TClassId clsid = *pelmsg::GuidFromText("{00020D0B-0000-0000-C000-000000000046}");
        {
            auto root = pelmsg::StgCreateDocfile(path);
            auto sub = root->CreateStorage(u"__attach_version1.0_#00000000");
            sub->SetClass(clsid);
            auto stream = sub->CreateStream(u"__substg1.0_3701000D");
            stream->Write("abcdef", 6);
            root->CreateStream(u"__properties_version1.0")->Write("x", 1);
            root->SetElementTimes(u"__attach_version1.0_#00000000", 116444736000000000ull, std::nullopt, std::nullopt);
            root->Commit();
        }
        TStructurePage widget;
        TStructurePage* page = &widget;
        QVERIFY(page->BuildStructureTree(pelmsg::StgOpenStorage(path).get()));
        QTreeWidget* tree = page->Tree();
        QCOMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
        QTableWidget* grid = page->Grid();
        QCOMPARE(grid->rowCount(), 12);
        QCOMPARE(grid->item(1, 0)->text(), "Name");
        QCOMPARE(grid->item(9, 0)->text(), "clsid");
        QTreeWidgetItem* storage = tree->findItems("__attach_version1.0_#00000000", Qt::MatchExactly).value(0);
        QVERIFY(storage);
        tree->setCurrentItem(storage);
        QCOMPARE(grid->item(1, 1)->text(), "__attach_version1.0_#00000000");
        QCOMPARE(grid->item(2, 1)->text(), "storage");
        QCOMPARE(grid->item(9, 1)->text(), "{00020D0B-0000-0000-C000-000000000046}");
        QVERIFY(!grid->item(5, 1)->text().isEmpty()); // created 1970-01-01
        QVERIFY2(grid->item(5, 1)->text().startsWith("1/1/70"), qPrintable(grid->item(5, 1)->text()));
        QCOMPARE(grid->item(6, 1)->text(), ""); // no access time: an element time of zero
        tree->setCurrentItem(storage->child(0));
        QCOMPARE(grid->item(2, 1)->text(), "stream");
        QCOMPARE(grid->item(3, 1)->text(), "6");
        QCOMPARE(grid->item(4, 1)->text(), "");
        QCOMPARE(grid->item(9, 1)->text(), "{00000000-0000-0000-0000-000000000000}");
        // Not a compound file: the document has no storage, and no error.
        QFile text(home.Path("home/plain.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a compound file");
        text.close();
        const TOpenDocument document(text.fileName());
        QVERIFY(!document.Storage());
        QVERIFY(document.StorageError().isEmpty());
        QVERIFY(!page->BuildStructureTree(document.Storage()));
        QCOMPARE(tree->topLevelItemCount(), 0);
        QCOMPARE(grid->item(1, 1)->text(), "");
    }

    void corpusStructureMatchesOlefile()
    {
        QStringList files;
        QDirIterator it(QStringLiteral(TESSALY_CORPUS_DIR "/msg"), { "*.msg" }, QDir::Files);
        while (it.hasNext())
            files << it.next();
        files.sort();
        if (files.size() < 10)
            QSKIP("the shared corpus is not present");
        if (QProcess::execute("/usr/bin/python3", { "-c", "import olefile" }) != 0)
            QSKIP("python3-olefile is not installed");
        QProcess lister;
        lister.start("/usr/bin/python3", QStringList { TESSALY_SOURCE_DIR "/tests/pelmsg/tools/ole_listing.py" } + files);
        QVERIFY(lister.waitForFinished(300000));
        const QJsonObject listings = QJsonDocument::fromJson(lister.readAllStandardOutput()).object();
        QCOMPARE(listings.size(), files.size());

        TStructurePage widget;
        TStructurePage* page = &widget;
        int compared = 0;
        QStringList refused;
        for (const QString& file : files) {
            const QJsonObject listing = listings.value(file).toObject();
            if (listing.contains("error"))
                continue; // a file olefile cannot read says nothing about ours
            bool built = false;
            page->Clear(); // as the window does for each document
            try {
                built = page->BuildStructureTree(pelmsg::StgOpenStorage(file.toStdString()).get());
            } catch (const pelmsg::EStorageError& e) {
                // A damaged directory is refused with its reason (the window shows it); olefile reads on.
                refused << QFileInfo(file).fileName() + ": " + e.what();
                QCOMPARE(page->Tree()->topLevelItemCount(), 0);
                continue;
            }
            QVERIFY2(built, qPrintable(file));
            std::map<QString, qint64> ours; // path -> stream size, -1 for storages
            std::function<void(QTreeWidgetItem*, const QString&)> walk = [&](QTreeWidgetItem* item, const QString& prefix) {
                const auto* node = static_cast<TStructureItem*>(item);
                const QString path = prefix + item->text(0);
                ours[path] = node->Stat().type == pelmsg::STGTY_STORAGE ? -1 : qint64(node->Stat().cbSize);
                for (int i = 0; i < item->childCount(); ++i)
                    walk(item->child(i), path + "/");
            };
            for (int i = 0; i < page->Tree()->topLevelItemCount(); ++i)
                walk(page->Tree()->topLevelItem(i), QString());
            std::map<QString, qint64> theirs;
            const QJsonObject elements = listing.value("elements").toObject();
            for (auto e = elements.begin(); e != elements.end(); ++e) {
                const QJsonObject element = e.value().toObject();
                theirs[e.key()] = element.value("storage").toBool() ? -1 : qint64(element.value("size").toDouble());
            }
            // A stream whose directory entry gives a size its chain does not hold shows that size; olefile
            // reads what there is. Such a stream cannot be read.
            for (auto& [path, size] : ours) {
                if (size < 0 || !theirs.count(path) || theirs[path] == size)
                    continue;
                try {
                    std::unique_ptr<pelmsg::IStorage> storage = pelmsg::StgOpenStorage(file.toStdString());
                    QStringList parts = path.split('/');
                    const QString last = parts.takeLast();
                    for (const QString& part : parts)
                        storage = storage->OpenStorage(part.toStdU16String());
                    std::string bytes(size_t(size), '\0');
                    storage->OpenStream(last.toStdU16String())->Read(bytes.data(), bytes.size());
                } catch (const pelmsg::EStorageError& e) {
                    refused << QFileInfo(file).fileName() + " " + path + ": " + e.what();
                    size = theirs[path];
                }
            }
            QString difference;
            for (const auto& [path, size] : ours)
                if (!theirs.count(path) || theirs[path] != size)
                    difference += QStringLiteral("\n  ours:   %1 %2").arg(path).arg(size);
            for (const auto& [path, size] : theirs)
                if (!ours.count(path) || ours[path] != size)
                    difference += QStringLiteral("\n  theirs: %1 %2").arg(path).arg(size);
            QVERIFY2(ours == theirs, qPrintable(file + difference));
            ++compared;
        }
        qInfo("%d .msg files: the structure page lists what olefile lists; %lld refused as damaged:", compared,
            static_cast<long long>(refused.size()));
        for (const QString& r : refused)
            qInfo("  %s", qPrintable(r));
        QVERIFY(compared > files.size() * 9 / 10);
    }

    // ---- Flags page ----

    void flagsCannotBeChanged()
    {
        pelmsg::TPelMessage message;
        Add(message.Properties(), 0x0E070003, int32_t(0x2011), 4);
        TFlagsPage widget;
        widget.resize(800, 500);
        widget.Fill(&message);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        auto* list = widget.findChild<QTreeWidget*>("lvMessageFlags");
        for (int i = 0; i < kMessageFlagRowCount; ++i)
            QCOMPARE(list->topLevelItem(i)->checkState(0) == Qt::Checked, i == 0 || i == 4 || i == 11);
        // A click on a box, the space bar and a change from code are all taken back.
        QTreeWidgetItem* row = list->topLevelItem(1);
        QRect box = list->visualItemRect(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 12, box.center().y()));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 6, box.center().y()));
        QCOMPARE(row->checkState(0), Qt::Unchecked);
        list->setCurrentItem(list->topLevelItem(4));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->topLevelItem(4)->checkState(0), Qt::Checked);
        row->setCheckState(0, Qt::Checked);
        QCOMPARE(row->checkState(0), Qt::Unchecked);
        // Texts may change.
        row->setText(1, "changed");
        QCOMPARE(row->text(1), "changed");
        widget.Fill(nullptr);
        for (int i = 0; i < kMessageFlagRowCount; ++i)
            QCOMPARE(list->topLevelItem(i)->checkState(0), Qt::Unchecked);
    }

    // ---- In the main window ----

    void pagesInTheWindow_data()
    {
        quorra_test::AddRows<bool>({ "german" }, { { "English", false }, { "German", true } });
    }

    void pagesInTheWindow()
    {
        QFETCH(bool, german);
        TIsolatedHome home;
        if (german) {
            QDir().mkpath(home.Path("program/languages"));
            QVERIFY(QFile::copy(TESSALY_SOURCE_DIR "/resources/languages/german.lng",
                home.Path("program/languages/german.lng")));
        }
        std::vector<std::string> arguments = { TESSALY_SOURCE_DIR "/samples/winmail.dat", "/noini" };
        if (german)
            arguments.push_back("/LANG=german.lng");
        const auto w = home.NewWindow(arguments);
        TfrmMain& window = *w;
        window.resize(1024, 768);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.PageControl()->setCurrentWidget(window.PropertiesPage());
        auto* tree = window.findChild<QTreeView*>("tvProperties");
        auto* group = window.findChild<QGroupBox*>("gbPropInfo");
        QVERIFY(!group->isVisible());
        QCOMPARE(tree->model()->headerData(0, Qt::Horizontal).toString(), german ? "Eigenschaft" : "Property");
        // The keyboard moves through the tree and the panel follows.
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QVERIFY(group->isVisible());
        // The focus made the first row current; Down went to the second, the message class.
        QCOMPARE(window.findChild<QLineEdit*>("edPropID")->text(), "0x001A001E");
        QCOMPARE(group->title().trimmed(), german ? "Informationen zur Eigenschaft" : "Property Information");
        QCOMPARE(window.findChild<QTabWidget*>("pcValue")->tabText(1), german ? "Wert (hexadezimal)" : "Value (as Hex)");
        auto* page = window.PropertiesPage();
        QCOMPARE(page->HexDump()->RelativeAddress(), true);
        QCOMPARE(page->HexDump()->DumpSize(), uint64_t(page->Current()->DataSize));
        window.findChild<QTabWidget*>("pcValue")->setCurrentIndex(1);
        QTRY_VERIFY(page->HexDump()->BytesPerLine() > 3);
        QCOMPARE(page->HexDump()->HexText(0).left(8), "49 50 4D"); // IPM
        // Containers are named in the language; the type list too.
        QModelIndexList recipients = tree->model()->match(tree->model()->index(0, 0), Qt::DisplayRole,
            german ? "Empfänger" : "Recipient", -1, Qt::MatchExactly);
        QVERIFY(!recipients.isEmpty());
        QVERIFY(window.findChild<QComboBox*>("cbPropType")->currentText().startsWith(
            german ? "PT_STRING8: Nullterminierte" : "PT_STRING8: Null terminated"));
        // The Flags page: MESSAGE_FLAGS 0x11 in the sample, read and has-attachment.
        for (int i = 0; i < kMessageFlagRowCount; ++i)
            QCOMPARE(window.FlagsPage()->List()->topLevelItem(i)->checkState(0) == Qt::Checked, i == 0 || i == 4);
        // A new load empties the panel before the old message goes.
        window.OpenFile(TESSALY_SOURCE_DIR "/samples/winmail.dat");
        QVERIFY(!group->isVisible());
        QVERIFY(!page->HexDump()->DataAssigned());
        window.close();
    }

    // ---- The corpus ----

    void everyCorpusTnefNodeFillsThePanel()
    {
        const QStringList files = quorra_test::CorpusFiles({ "tnef" });
        if (files.size() < 10)
            QSKIP("the shared corpus is not present");
        TPage page;
        int nodes = 0, attachmentsCompared = 0;
        for (const QString& file : files) {
            std::unique_ptr<pelmsg::TPelMessage> message = pelmsg::CreateMessageForFile(file.toStdString());
            try {
                message->LoadFromFile(file.toStdString());
            } catch (const std::exception&) {
                // A damaged file: its pages show what was read.
            }
            page.widget.Fill(message.get());
            QList<QModelIndex> all;
            Walk(*page.page->Tree()->model(), QModelIndex(), all);
            std::set<QByteArray> hashes;
            for (const QModelIndex& index : all) {
                page.page->Tree()->setCurrentIndex(index);
                const pelmsg::TMSGProperty* p = page.page->Current();
                QVERIFY2(p, qPrintable(file));
                QVERIFY(page.Find<QGroupBox>("gbPropInfo")->isVisible());
                QCOMPARE(page.Find<QLineEdit>("edPropID")->text(), TagText(StoredTag(*p)));
                QCOMPARE(page.Find<QLineEdit>("edPropSize")->text(), QString::number(p->DataSize));
                const THexDump* dump = page.page->HexDump();
                std::string scratch;
                const std::string_view bytes = PropertyHexBytes(*p, scratch);
                QCOMPARE(dump->DumpSize(), uint64_t(bytes.size()));
                hashes.insert(QCryptographicHash::hash(DumpBytes(*dump), QCryptographicHash::Sha256).toHex());
                // The reader keeps an object's data after its interface identifier, which the tnef tool writes
                // out with it: IID_IMessage for an attached message, IID_IStorage for an OLE object.
                if (pelmsg::PropType(p->TagID) == pelmsg::PT_OBJECT && dump->DumpSize() > 0)
                    for (const char* iid : { "0703020000000000C000000000000046", "0B00000000000000C000000000000046" })
                        hashes.insert(QCryptographicHash::hash(QByteArray::fromHex(iid) + DumpBytes(*dump),
                            QCryptographicHash::Sha256)
                                          .toHex());
                ++nodes;
            }
            // Every attachment the tnef tool extracted is, byte for byte, the hex view of a value.
            QFile oracle(QStringLiteral(TESSALY_CORPUS_DIR "/oracle/") + QFileInfo(file).fileName() + ".json");
            if (!oracle.open(QIODevice::ReadOnly))
                continue;
            const QJsonObject json = QJsonDocument::fromJson(oracle.readAll()).object();
            if (json.value("tnef_extract").toObject().value("rc").toInt() != 0)
                continue;
            for (const QJsonValue hash : json.value("comparison").toObject().value("tnef_attachment_hashes").toArray()) {
                QVERIFY2(hashes.count(hash.toString().toLatin1()), qPrintable(file + " " + hash.toString()));
                ++attachmentsCompared;
            }
        }
        qInfo("%d nodes selected in %lld files; %d extracted attachments found in the hex view", nodes,
            static_cast<long long>(files.size()), attachmentsCompared);
        QVERIFY(attachmentsCompared > 20);
    }
};

QTEST_MAIN(TestDataPages)
#include "tst_data_pages.moc"
