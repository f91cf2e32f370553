// The rich-text tab against bodies built to freeze it: the document is built apart from the view in one edit, so
// its layout runs once whatever the body holds (counted, not timed), and pictures stay within the document's pixel
// budget, kept as pixmaps of the size they are shown with.

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

#include "html_text_later.h"
#include "lzfu.h"
#include "message_preview.h"
#include "pelmsg.h"
#include "rtf_text_document.h"
#include "settings.h"
#include "test_data.h"
#include "tnef_builder.h"
#include "window_test_support.h"
#include "worker_pool.h"

using namespace quorra;
using namespace pelmsg::test;

namespace {

// A layout that counts how often the document asks it to lay out again, and over how many characters: what a
// real layout would do that many times.
class TCountingLayout : public QAbstractTextDocumentLayout {
public:
    explicit TCountingLayout(QTextDocument* document)
        : QAbstractTextDocumentLayout(document)
    {
    }
    int Passes = 0;
    qint64 Characters = 0;

    void draw(QPainter*, const PaintContext&) override { }
    int hitTest(const QPointF&, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {}; }
    QRectF frameBoundingRect(QTextFrame*) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock&) const override { return {}; }

protected:
    void documentChanged(int, int, int charsAdded) override
    {
        ++Passes;
        Characters += charsAdded;
    }
};

// The rich-text shapes that froze the window, n times over.
std::string Table(int rows, int columns)
{
    std::string rtf = "{\\rtf1\\ansi ";
    for (int r = 0; r < rows; ++r) {
        rtf += "\\trowd";
        for (int c = 0; c < columns; ++c)
            rtf += "\\cellx" + std::to_string(1000 * (c + 1));
        for (int c = 0; c < columns; ++c)
            rtf += "\\intbl r" + std::to_string(r) + "\\cell ";
        rtf += "\\row\n";
    }
    return rtf + "}";
}

std::string BulletList(int items)
{
    std::string rtf = "{\\rtf1\\ansi ";
    for (int i = 0; i < items; ++i)
        rtf += "{\\listtext\\'b7\\tab}\\ls1\\ilvl0 item " + std::to_string(i) + "\\par\n";
    return rtf + "}";
}

std::string FormatChanges(int changes)
{
    std::string rtf = "{\\rtf1\\ansi ";
    for (int i = 0; i < changes; ++i)
        rtf += i % 2 ? "\\b0 y" : "\\b x";
    return rtf + "\\par}";
}

std::string ColouredLog(int lines)
{
    std::string rtf = "{\\rtf1\\ansi{\\colortbl ;\\red0\\green0\\blue255;}";
    for (int i = 0; i < lines; ++i)
        rtf += "{\\cf1 12:00:" + std::to_string(i % 60) + "} entry " + std::to_string(i) + "\\line\n";
    return rtf + "\\par}";
}

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// "\pict" of a PNG; shown at the goal size in pixels when one is given.
std::string Picture(const std::string& png, int shownWidth = 0, int shownHeight = 0)
{
    std::string goal;
    if (shownWidth > 0)
        goal = "\\picwgoal" + std::to_string(shownWidth * 15) + "\\pichgoal" + std::to_string(shownHeight * 15);
    return "{\\pict\\pngblip" + goal + " " + Hex(png) + "}";
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

struct TLayoutWork {
    int Passes;
    qint64 Characters;
    qint64 Size; // characters of the document built
};

TLayoutWork WorkOf(const std::string& rtf)
{
    QTextDocument document;
    auto* layout = new TCountingLayout(&document);
    document.setDocumentLayout(layout);
    LoadRtfIntoDocument(Q(rtf), document);
    return { layout->Passes, layout->Characters, document.characterCount() };
}

// Characters of the document laid out so far (Qt lays a document out from its start).
int LaidOutChars(const QTextDocument& document)
{
    int low = 0;
    int high = document.blockCount();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (document.findBlockByNumber(middle).layout()->lineCount() > 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low < document.blockCount() ? document.findBlockByNumber(low).position() : document.characterCount();
}

} // namespace

class TestRichTextView : public QObject {
    Q_OBJECT

private slots:
    // Each shape, at n and 8n: the layout is asked a few times, the same for both (clearing, then the whole body), never once per
    // cell, item or run; it lays out each character of the body a bounded number of times.
    void bodiesAreLaidOutOnceWhateverTheyHold_data()
    {
        quorra_test::AddRows<QString, QString>({ "small", "large" },
            {
                { "5-column table", Q(Table(25, 5)), Q(Table(200, 5)) },
                { "64-column table", Q(Table(3, 64)), Q(Table(24, 64)) },
                { "bulleted list", Q(BulletList(500)), Q(BulletList(4000)) },
                { "format changes", Q(FormatChanges(625)), Q(FormatChanges(5000)) },
                { "coloured log", Q(ColouredLog(190)), Q(ColouredLog(1500)) },
            });
    }
    void bodiesAreLaidOutOnceWhateverTheyHold()
    {
        QFETCH(QString, small);
        QFETCH(QString, large);
        const TLayoutWork a = WorkOf(small.toStdString()), b = WorkOf(large.toStdString());
        QVERIFY2(b.Passes <= 8 && b.Passes == a.Passes, qPrintable(QString("%1 %2").arg(a.Passes).arg(b.Passes)));
        QVERIFY(a.Characters > 0);
        for (const TLayoutWork& w : { a, b })
            QVERIFY2(w.Characters <= 2 * w.Size, qPrintable(QString("%1 %2").arg(w.Characters).arg(w.Size)));
    }

    // The preview gives the rich-text view a finished document when its tab is first clicked (the plain-text tab,
    // filled from the RTF, shows first: the settings prefer HTML, which the message lacks): the document the view
    // had sees no edit, and the view shows the whole body.
    void thePreviewAttachesAFinishedDocument()
    {
        quorra_test::TIsolatedHome home;
        TSettings settings;
        TfrmMessage form(settings);
        auto* view = form.findChild<QTextEdit*>(QStringLiteral("reRTFBody"));
        QVERIFY(view);
        int edits = 0;
        connect(view->document(), &QTextDocument::contentsChange, this, [&edits] { ++edits; });
        const QFont font = view->document()->defaultFont();

        TnefBuilder b;
        b.Version().MessageClass("IPM.Note").Subject("table");
        TnefPropList props;
        props.Binary(pelmsg::kIdRtfCompressed, CompressRtfLzfu(Table(200, 5)));
        b.MapiProps(props);
        auto message = std::make_unique<pelmsg::TPelTNEFFile>();
        const std::string bytes = b.Bytes();
        pelmsg::TSpanStream stream(bytes);
        message->LoadFromStream(stream);
        form.FillPreview(&message->Properties());
        form.resize(800, 600);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(view->document()->isEmpty());
        QTabBar* tabs = form.findChild<QTabWidget*>(QStringLiteral("pcBody"))->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QVERIFY(view->isVisible());
        QCOMPARE(edits, 0);
        QCOMPARE(view->document()->parent(), static_cast<QObject*>(view));
        QVERIFY(view->toPlainText().contains("r199"));
        QCOMPARE(view->document()->defaultFont(), font);
        QVERIFY(qobject_cast<QAbstractTextDocumentLayout*>(view->document()->documentLayout()));
        // The next message replaces the document; the view keeps one document, its own.
        form.FillPreview(&message->Properties());
        QCOMPARE(view->findChildren<QTextDocument*>(QString(), Qt::FindDirectChildrenOnly).size(), qsizetype(1));
    }

    // The picture budget at its edge: pictures whose pixels add up to it exactly are all shown, as pixmaps of
    // the size they are shown with; the next picture, of one pixel, is left out. A picture counts the pixels it
    // is shown with when those are more.
    void picturesStayWithinThePixelBudget()
    {
        const int side = 4096;
        QCOMPARE(4 * qint64(side) * side, kMaxRtfPicturePixels);
        const std::string big = Picture(quorra_test::Png(side, side, Qt::darkGreen), 96, 64);
        std::string rtf
            = "{\\rtf1\\ansi " + big + big + big + big + Picture(quorra_test::Png(1, 1, Qt::darkGreen)) + "\\par}";
        QTextDocument document;
        QCOMPARE(FillTextDocument(pelmsg::ReadRtfDocument(std::string_view(rtf)), document), 1);
        int pictures = 0;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isImageFormat()) {
                    ++pictures;
                    const QVariant resource = document.resource(
                        QTextDocument::ImageResource, QUrl(it.fragment().charFormat().toImageFormat().name()));
                    QCOMPARE(resource.typeId(), QMetaType::QPixmap);
                    QCOMPARE(resource.value<QPixmap>().size(), QSize(96, 64));
                }
        QCOMPARE(pictures, 4);

        // Shown larger than its pixels: one pixel shown at 2048 x 2048 counts 4 Mi pixels; 16 fill the budget.
        const std::string blown = Picture(quorra_test::Png(1, 1, Qt::darkGreen), 2048, 2048);
        QCOMPARE(16 * qint64(2048) * 2048, kMaxRtfPicturePixels);
        std::string many = "{\\rtf1\\ansi ";
        for (int i = 0; i < 17; ++i)
            many += blown;
        QTextDocument second;
        QCOMPARE(FillTextDocument(pelmsg::ReadRtfDocument(std::string_view(many + "\\par}")), second), 1);
    }

    // A long body (here pictures and text past kRtfInWorkerChars) is read in a worker: the preview returns with
    // the rich-text tab shown and its view empty, and the view gets the whole document, pictures as pixmaps,
    // when the worker is done. A preview emptied meanwhile drops the read.
    void longBodiesAreReadInAWorker()
    {
        quorra_test::TIsolatedHome home;
        TSettings settings;
        TfrmMessage form(settings);
        auto* view = form.findChild<QTextEdit*>(QStringLiteral("reRTFBody"));
        std::string rtf
            = "{\\rtf1\\ansi first words " + Picture(quorra_test::Png(300, 200, Qt::darkGreen), 60, 40) + " ";
        while (rtf.size() < size_t(kRtfInWorkerChars))
            rtf += "filler text ";
        rtf += "last words\\par}";
        TnefBuilder b;
        b.Version().MessageClass("IPM.Note").Subject("long");
        TnefPropList props;
        props.Binary(pelmsg::kIdRtfCompressed, CompressRtfLzfu(rtf));
        b.MapiProps(props);
        auto message = std::make_unique<pelmsg::TPelTNEFFile>();
        const std::string bytes = b.Bytes();
        pelmsg::TSpanStream stream(bytes);
        message->LoadFromStream(stream);

        for (bool emptied : { false, true }) {
            form.FillPreview(&message->Properties());
            QVERIFY(view->document()->isEmpty());
            auto* job = view->findChild<QObject*>(QStringLiteral("rtfReadInWorker"));
            QVERIFY(job);
            if (emptied) {
                form.FillPreview(nullptr);
                QVERIFY(!view->findChild<QObject*>(QStringLiteral("rtfReadInWorker")));
                DocumentWorkers()->waitForDone();
                quorra_test::ProcessPendingEvents();
                QVERIFY(view->document()->isEmpty());
                continue;
            }
            QSignalSpy done(job, &QObject::destroyed);
            QVERIFY(done.wait(60000));
            const QString text = view->toPlainText();
            QVERIFY(text.startsWith("first words"));
            QVERIFY(text.endsWith("last words"));
            QCOMPARE(view->document()->parent(), static_cast<QObject*>(view));
            QCOMPARE(view->document()->thread(), view->thread());
            const QVariant picture = view->document()->resource(QTextDocument::ImageResource, QUrl("rtfpicture://0"));
            QCOMPARE(picture.typeId(), QMetaType::QPixmap);
            QCOMPARE(picture.value<QPixmap>().size(), QSize(60, 40));
            // The plain-text view, empty in the message, takes the rich text's words.
            QVERIFY(form.findChild<QTextEdit*>(QStringLiteral("reBody"))->toPlainText().startsWith("first words"));
        }
    }

    // A long body read in a worker comes at the zoom in use, also when the zoom changes while it is read, and
    // Ctrl+0 brings its explicit sizes back to the stored ones.
    void longBodyComesAtTheZoomInUse()
    {
        quorra_test::TIsolatedHome home;
        TSettings settings;
        TfrmMessage form(settings);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form)); // the zoom keys are the window's
        auto* view = form.findChild<QTextEdit*>(QStringLiteral("reRTFBody"));
        std::string rtf = "{\\rtf1\\ansi\\fs40 big ";
        while (rtf.size() < size_t(kRtfInWorkerChars))
            rtf += "filler text ";
        TnefPropList props;
        props.Binary(pelmsg::kIdRtfCompressed, CompressRtfLzfu(rtf + "\\par}"));
        const std::shared_ptr<pelmsg::TPelMessage> message
            = quorra_test::LoadTnef(TnefBuilder().Version().MessageClass("IPM.Note").MapiProps(props).Bytes());
        auto size = [view] { return view->document()->begin().begin().fragment().charFormat().fontPointSize(); };
        QTest::keySequence(&form, QKeySequence(QKeySequence::ZoomIn));
        for (bool zoomWhileRead : { false, true }) {
            form.FillPreview(&message->Properties());
            auto* job = view->findChild<QObject*>(QStringLiteral("rtfReadInWorker"));
            QVERIFY(job);
            QSignalSpy done(job, &QObject::destroyed);
            if (zoomWhileRead)
                QTest::keySequence(&form, QKeySequence(QKeySequence::ZoomIn));
            QVERIFY(done.wait(60000));
            QCOMPARE(form.ZoomSteps(), zoomWhileRead ? 2 : 1);
            QVERIFY2(qAbs(size() - 20 * form.ZoomFactor()) < 0.01, qPrintable(QString::number(size())));
        }
        QTest::keySequence(&form, QKeySequence(Qt::CTRL | Qt::Key_0));
        QVERIFY2(qAbs(size() - 20) < 0.01, qPrintable(QString::number(size())));
    }

    // A long document given to a view: nothing laid out past the first step while the view is hidden (the layout's
    // timers having come 20 times); once shown, at most a slice (and one of the layout's own steps of a
    // screen or two) at each turn of the event loop, until all of it is, and the scroll range reaches its end.
    void longDocumentLaidOutInSlices()
    {
        QTextEdit view;
        view.resize(500, 300);
        auto* document = new QTextDocument;
        const QString line = QStringLiteral("Line %1: lorem ipsum dolor sit amet, consectetur adipiscing elit.\n");
        QString text;
        for (int i = 0; i < 20000; ++i)
            text += line.arg(i);
        document->setPlainText(text);
        AttachDocument(view, document);
        QAbstractTextDocumentLayout* layout = document->documentLayout();
        struct TTimerEvents : QObject {
            int Count = 0;
            bool eventFilter(QObject*, QEvent* event) override
            {
                Count += event->type() == QEvent::Timer ? 1 : 0;
                return false;
            }
        } steps;
        layout->installEventFilter(&steps);
        QTRY_VERIFY(steps.Count >= 20);
        QVERIFY(LaidOutChars(*document) < 16 * 1024);
        int laid = 0;
        int mostAtOnce = 0;
        QTimer turns;
        connect(&turns, &QTimer::timeout, [&] {
            const int now = LaidOutChars(*document);
            mostAtOnce = std::max(mostAtOnce, now - std::exchange(laid, now));
        });
        view.show();
        turns.start(0);
        QTRY_VERIFY_WITH_TIMEOUT(laid == document->characterCount(), 120000);
        QVERIFY2(mostAtOnce <= kLayoutSliceChars + 32 * 1024, qPrintable(QString::number(mostAtOnce)));
        QScrollBar* bar = view.verticalScrollBar();
        QTRY_COMPARE(bar->maximum(), layout->documentSize().toSize().height() - view.viewport()->height());
        bar->setValue(bar->maximum());
        QTextCursor end(document);
        end.movePosition(QTextCursor::End);
        QVERIFY(view.viewport()->rect().contains(view.cursorRect(end).center()));
    }
};

QTEST_MAIN(TestRichTextView)
#include "tst_rich_text_view.moc"
