// The message preview driven as a user would: which body tab is chosen, the header rules (CC/BCC, When/Where,
// importance banner), the body commands (Find Next, word wrap), opening attachments (hostile names, programs that
// must not run), saving one, attached messages in nested modal previews, and printing. No web view is created
// here (the messages have no HTML body); tst_html_preview covers it under Xvfb.

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTabWidget>
#include <QTextDocument>
#include <QTextEdit>

#include "lzfu.h"
#include "message_preview.h"
#include "pelmsg.h"
#include "preview_support.h"
#include "private_temp.h"
#include "rtf_text_document.h"
#include "settings.h"
#include "test_data.h"
#include "tnef_builder.h"
#include "window_test_support.h"
#include "worker_pool.h"

using namespace quorra;
using namespace pelmsg::test;

namespace {

struct TFile {
    std::string Name;
    std::string Data;
};

struct TMail {
    std::string Plain;
    std::string Rtf;
    std::string Html;
    std::string Cc;
    std::string Bcc;
    int Priority = 0; // -2 .. 2
    bool HasPriority = false;
    std::vector<TFile> Files;
};

std::string TnefOf(const TMail& mail)
{
    TnefBuilder b;
    b.Version().MessageClass("IPM.Note").Subject("Quarterly figures");
    TnefPropList props;
    props.String8(pelmsg::kIdDisplayTo, "Ann <ann@example.org>");
    props.String8(pelmsg::kIdSentRepresentingName, "Bob");
    if (!mail.Cc.empty())
        props.String8(pelmsg::kIdDisplayCc, mail.Cc);
    if (!mail.Bcc.empty())
        props.String8(pelmsg::kIdDisplayBcc, mail.Bcc);
    if (!mail.Plain.empty())
        props.String8(pelmsg::kIdBody, mail.Plain);
    if (!mail.Rtf.empty())
        props.Binary(pelmsg::kIdRtfCompressed, CompressRtfLzfu(mail.Rtf));
    if (!mail.Html.empty())
        props.Binary(pelmsg::kIdBodyHtml, mail.Html);
    if (mail.HasPriority)
        props.Long(pelmsg::kIdPriority, mail.Priority);
    b.MapiProps(props);
    for (const TFile& f : mail.Files) {
        TnefPropList a;
        a.String8(pelmsg::kIdAttachLongFileName, f.Name);
        b.AttachRenddata().AttachTitle(f.Name).AttachData(f.Data).AttachmentProps(a);
    }
    return b.Bytes();
}

std::unique_ptr<pelmsg::TPelMessage> Load(const TMail& mail) { return quorra_test::LoadTnef(TnefOf(mail)); }

std::unique_ptr<pelmsg::TPelMessage> LoadFile(const QString& path)
{
    auto message = pelmsg::CreateMessageForFile(path.toStdString());
    message->LoadFromFile(path.toStdString());
    return message;
}

// A preview filled with a message, under its own settings; the files it hands to the desktop are recorded.
struct TShown {
    explicit TShown(std::unique_ptr<pelmsg::TPelMessage> message, TSettings initial = {})
        : Settings(std::move(initial))
        , Form(Settings)
        , Message(std::move(message))
    {
        Form.OpenFileExternally = [this](const QString& path) { Opened << path; };
        Form.FillPreview(&Message->Properties());
    }
    explicit TShown(const TMail& mail, TSettings initial = {})
        : TShown(Load(mail), std::move(initial))
    {
    }
    TSettings Settings;
    TfrmMessage Form;
    std::unique_ptr<pelmsg::TPelMessage> Message;
    QStringList Opened;
};

TMail PlainMail(const std::string& plain, std::vector<TFile> files = {})
{
    TMail mail;
    mail.Plain = plain;
    mail.Files = std::move(files);
    return mail;
}

template <class T> T* Child(QWidget* form, const char* name)
{
    T* child = form->findChild<T*>(QLatin1String(name));
    if (!child)
        qFatal("no %s", name);
    return child;
}

bool TabShown(TfrmMessage& form, const char* name)
{
    auto* tabs = Child<QTabWidget>(&form, "pcBody");
    return tabs->isTabVisible(tabs->indexOf(Child<QWidget>(&form, name)));
}

QString CurrentTab(TfrmMessage& form) { return Child<QTabWidget>(&form, "pcBody")->currentWidget()->objectName(); }

const char* kRtfFromHtml = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 {\\fonttbl{\\f0\\fswiss Arial;}}"
                           "{\\*\\htmltag19 <html>}{\\*\\htmltag34 <body>}{\\*\\htmltag64 <p>}\\htmlrtf {\\htmlrtf0 "
                           "Hello from RTF\\htmlrtf }\\htmlrtf0 {\\*\\htmltag72 </p>}\\par{\\*\\htmltag42 </body>}"
                           "{\\*\\htmltag27 </html>}}";

} // namespace

class TestMessagePreview : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<quorra_test::TIsolatedHome> home_;

private slots:
    void init() { home_ = std::make_unique<quorra_test::TIsolatedHome>(); }
    void cleanup()
    {
        RemovePrivateTempFolder();
        home_.reset();
    }

    void tabChoiceByDefaultFormat_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("rtf");
        QTest::addColumn<TDefaultFormat>("defaultFormat");
        QTest::addColumn<QString>("active");
        QTest::addColumn<bool>("plainShown");
        QTest::addColumn<bool>("rtfShown");
        QTest::addColumn<bool>("htmlShown");
        QTest::newRow("plain only, HTML preferred")
            << "Just text"
            << "" << TDefaultFormat::Html << "tsPlainText" << true << false << false;
        QTest::newRow("RTF from HTML, rich text preferred")
            << "" << kRtfFromHtml << TDefaultFormat::RichText << "tsRTFBody" << true << true << true;
        QTest::newRow("RTF from HTML, HTML preferred")
            << "" << kRtfFromHtml << TDefaultFormat::Html << "tsHTMLBody" << true << true << true;
        QTest::newRow("RTF from HTML, text preferred")
            << "" << kRtfFromHtml << TDefaultFormat::Text << "tsPlainText" << true << true << true;
        QTest::newRow("plain and plain RTF, any")
            << "Body"
            << "{\\rtf1 Body\\par}" << TDefaultFormat::Any << "tsRTFBody" << true << true << false;
    }
    void tabChoiceByDefaultFormat()
    {
        QFETCH(QString, plain);
        QFETCH(QString, rtf);
        QFETCH(TDefaultFormat, defaultFormat);
        QFETCH(QString, active);
        QFETCH(bool, plainShown);
        QFETCH(bool, rtfShown);
        QFETCH(bool, htmlShown);
        TSettings settings;
        settings.DefaultFormat = defaultFormat;
        TMail mail;
        mail.Plain = plain.toStdString();
        mail.Rtf = rtf.toStdString();
        TShown shown(mail, settings);
        TfrmMessage& form = shown.Form;
        QCOMPARE(CurrentTab(form), active);
        QCOMPARE(TabShown(form, "tsPlainText"), plainShown);
        QCOMPARE(TabShown(form, "tsRTFBody"), rtfShown);
        QCOMPARE(TabShown(form, "tsHTMLBody"), htmlShown);
        // Without a plain body the plain tab takes the rich text's text.
        if (plain.isEmpty() && rtfShown)
            QCOMPARE(Child<QTextEdit>(&form, "reBody")->toPlainText().trimmed(), QStringLiteral("Hello from RTF"));
        QCOMPARE(Child<QComboBox>(&form, "cbMessageFormat")->currentIndex(), int(shown.Message->Properties().BodyKind));
    }

    // A message with BCC and no CC shows BCC on CC's line; the header ends below it.
    void ccAndBccPlacement()
    {
        TMail both;
        both.Cc = "Carl";
        both.Bcc = "Dora";
        TShown shown(both);
        TfrmMessage& form = shown.Form;
        form.resize(700, 500);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* edCC = Child<QLineEdit>(&form, "edCC");
        auto* edBCC = Child<QLineEdit>(&form, "edBCC");
        auto* header = Child<QWidget>(&form, "pnlHeader");
        QVERIFY(edCC->isVisible() && edBCC->isVisible());
        const int ccTop = edCC->y();
        QVERIFY(edBCC->y() > ccTop);

        TMail bccOnly;
        bccOnly.Bcc = "Dora";
        auto withoutCc = Load(bccOnly);
        form.FillPreview(&withoutCc->Properties());
        QTRY_VERIFY(!edCC->isVisible());
        QVERIFY(!Child<QLabel>(&form, "lblCC")->isVisible());
        QVERIFY(edBCC->isVisible());
        QTRY_COMPARE(edBCC->y(), ccTop);
        QTRY_VERIFY(header->height() >= edBCC->geometry().bottom());
        QVERIFY(header->height() <= edBCC->geometry().bottom() + 12);
        QCOMPARE(edBCC->text(), QStringLiteral("Dora"));
        QCOMPARE(Child<QLineEdit>(&form, "edTo")->text(), QStringLiteral("Ann <ann@example.org>"));
        QVERIFY(!Child<QLineEdit>(&form, "edWhen")->isVisible());
    }

    // A meeting or appointment shows When and Where in the header.
    void meetingShowsWhenAndWhere()
    {
        QStringList shown;
        for (const QString& name : QDir(QStringLiteral(TESSALY_CORPUS_DIR "/msg")).entryList(QDir::Files)) {
            const std::string path = (TESSALY_CORPUS_DIR "/msg/" + name).toStdString();
            auto message = pelmsg::CreateMessageForFile(path);
            try {
                message->LoadFromFile(path);
            } catch (const std::exception&) {
                continue;
            }
            const pelmsg::TItemSummary item = pelmsg::SummarizeItem(message->Properties());
            TShown preview(std::move(message));
            TfrmMessage& form = preview.Form;
            auto* edWhen = Child<QLineEdit>(&form, "edWhen");
            QCOMPARE(!edWhen->isHidden(), !item.When.empty());
            if (item.When.empty())
                continue;
            QCOMPARE(edWhen->text(), QString::fromStdU16String(item.When));
            QCOMPARE(!Child<QLineEdit>(&form, "edWhere")->isHidden(), !item.Where.empty());
            QCOMPARE(!Child<QLabel>(&form, "lblWhen")->isHidden(), true);
            shown << name + ": " + edWhen->text();
        }
        if (shown.isEmpty())
            QSKIP("no calendar item in the corpus");
        qInfo("%lld calendar items, e.g. %s", static_cast<long long>(shown.size()), qPrintable(shown.front()));
    }

    void importanceBanner_data()
    {
        QTest::addColumn<int>("priority");
        QTest::addColumn<QString>("text");
        QTest::newRow("lowest") << -2 << "   || This message was sent with Lowest importance.";
        QTest::newRow("low") << -1 << "   | This message was sent with Low importance.";
        QTest::newRow("normal") << 0 << "";
        QTest::newRow("high") << 1 << "   ! This message was sent with High importance.";
        QTest::newRow("highest") << 2 << "   !! This message was sent with Highest importance.";
    }
    void importanceBanner()
    {
        QFETCH(int, priority);
        QFETCH(QString, text);
        TMail mail = PlainMail("x");
        mail.HasPriority = true;
        mail.Priority = priority;
        TShown shown(mail);
        TfrmMessage& form = shown.Form;
        auto* banner = Child<QLabel>(&form, "lblImportance");
        QCOMPARE(!banner->isHidden(), !text.isEmpty());
        if (text.isEmpty())
            return;
        QCOMPARE(banner->text(), text);
        // In the selection's colours of the palette, light or dark.
        QCOMPARE(banner->palette().color(QPalette::WindowText), form.palette().color(QPalette::HighlightedText));
        QCOMPARE(banner->palette().color(QPalette::Window), form.palette().color(QPalette::Highlight));
    }

    // Find Next moves on from the current hit and wraps; a text that does not occur is reported in quotes.
    void findNextContinuesAfterTheHit()
    {
        TShown shown(PlainMail("alpha beta Alpha beta"));
        TfrmMessage& form = shown.Form;
        auto* edit = form.ActiveEdit();
        QCOMPARE(edit->objectName(), QStringLiteral("reBody"));
        Child<QLineEdit>(&form, "edFindText")->setText("beta");
        QVERIFY(form.FindDialogFind());
        QCOMPARE(edit->textCursor().selectionStart(), 6);
        QVERIFY(form.FindDialogFind());
        QCOMPARE(edit->textCursor().selectionStart(), 17);
        QVERIFY(form.FindDialogFind());
        QCOMPARE(edit->textCursor().selectionStart(), 6);
        // Case-insensitive unless asked.
        Child<QLineEdit>(&form, "edFindText")->setText("alpha");
        QVERIFY(form.FindDialogFind());
        QCOMPARE(edit->textCursor().selectionStart(), 11);
        Child<QCheckBox>(&form, "cbMatchCase")->setChecked(true);
        QVERIFY(form.FindDialogFind());
        QCOMPARE(edit->textCursor().selectionStart(), 0);

        Child<QLineEdit>(&form, "edFindText")->setText("gamma");
        quorra_test::TModalHandler boxes;
        QVERIFY(!form.FindDialogFind());
        QCOMPARE(boxes.Seen(), QStringList { "Could not find \"gamma\" in body." });
    }

    void wordWrapIsStored()
    {
        TMail mail = PlainMail("x");
        mail.Rtf = "{\\rtf1 x\\par}";
        TShown shown(mail);
        TfrmMessage& form = shown.Form;
        QCOMPARE(Child<QTextEdit>(&form, "reBody")->lineWrapMode(), QTextEdit::NoWrap);
        form.btnWordWrapClick();
        QVERIFY(shown.Settings.WordWrap && shown.Settings.SettingsChanged);
        QCOMPARE(Child<QTextEdit>(&form, "reBody")->lineWrapMode(), QTextEdit::WidgetWidth);
        QCOMPARE(Child<QTextEdit>(&form, "reRTFBody")->lineWrapMode(), QTextEdit::WidgetWidth);
        form.btnWordWrapClick();
        QVERIFY(!shown.Settings.WordWrap);
    }

    // Opening writes the attachment 0600 into the private folder under a safe name and hands that to the desktop;
    // hostile names never leave the folder.
    void openWritesSafelyIntoThePrivateFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent folders") << "../../../outside.txt";
        QTest::newRow("absolute") << "/tmp/abs.txt";
        QTest::newRow("backslashes") << "..\\..\\win.txt";
        QTest::newRow("control characters") << "a\x01\x1b[31mb.txt";
        QTest::newRow("very long") << QString(300, 'n') + ".txt";
        QTest::newRow("device name") << "CON";
    }
    void openWritesSafelyIntoThePrivateFolder()
    {
        QFETCH(QString, name);
        TShown shown(PlainMail("x", { { name.toStdString(), "attachment bytes" } }));
        const QStringList& opened = shown.Opened;
        auto* list = Child<QListWidget>(&shown.Form, "lvAttachments");
        QCOMPARE(list->count(), 1);
        list->setCurrentRow(0);
        shown.Form.lvAttachmentsDblClick();
        QCOMPARE(opened.size(), 1);
        const QString folder = PrivateTempFolder();
        QCOMPARE(QFileInfo(opened[0]).absolutePath(), folder);
        QVERIFY(QFileInfo(opened[0]).fileName().toUtf8().size() <= 255);
        QFile f(opened[0]);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("attachment bytes"));
        struct stat st {};
        QCOMPARE(::stat(opened[0].toLocal8Bit().constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
        QVERIFY(TempFiles().contains(opened[0]));
        // Nothing appeared beside the private folder.
        QCOMPARE(QDir(QFileInfo(folder).absolutePath()).entryList(QDir::Files).size(), 0);
    }

    // Item 7: a real double-click on an attachment opens it once (the double-click activates the item; no second
    // signal opens it again); Enter on it opens it once too.
    void doubleClickOpensAnAttachmentOnce()
    {
        TShown shown(PlainMail("x", { { "notes.txt", "attachment bytes" } }));
        TfrmMessage& form = shown.Form;
        const QStringList& opened = shown.Opened;
        form.resize(800, 600);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* list = Child<QListWidget>(&form, "lvAttachments");
        QVERIFY(list->isVisible());
        const QPoint at = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(opened.size(), 1);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(opened.size(), 2);
    }

    // Item 2: the HTML tab's text comes from the RTF's stored bytes: a raw 8-bit character is read in the RTF's
    // code page, as in the .eml.
    void htmlFromRtfReadsRawBytesInTheRtfCodePage()
    {
        TSettings settings;
        settings.DefaultFormat = TDefaultFormat::Html;
        TMail mail;
        mail.Rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 {\\fonttbl{\\f0\\fswiss Arial;}}{\\*\\htmltag19 <html>}"
                   "{\\*\\htmltag34 <body>}caf\xE9{\\*\\htmltag27 </html>}}";
        TShown shown(mail, settings);
        TfrmMessage& form = shown.Form;
        QVERIFY(TabShown(form, "tsHTMLBody"));
        QCOMPARE(CurrentTab(form), QStringLiteral("tsHTMLBody"));
        QTextDocument document;
        form.FillPrintDocument(document);
        QVERIFY2(document.toPlainText().contains(QStringLiteral("caf\u00E9")), qPrintable(document.toPlainText()));
        QVERIFY(!document.toPlainText().contains(QStringLiteral("caf\u00C3")));
    }

    // A program or script is never handed to the desktop: the user is told and may save it.
    void executablesAreNeverLaunched_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("desktop entry") << "invoice.desktop" << QByteArray("[Desktop Entry]\nExec=sh -c evil\n");
        QTest::newRow("shell script") << "fix.sh" << QByteArray("echo");
        QTest::newRow("ELF named as a picture") << "photo.jpg" << QByteArray("\x7F" "ELF\x02\x01\x01");
        QTest::newRow("windows program") << "setup.exe" << QByteArray("MZ");
        // Names whose cut to the file-name limit would end in a runnable extension, and content the MIME
        // database takes for a desktop entry although it does not start with it.
        const QString longA = QString(247, u'A') + ".desktop" + QString(20, u'X');
        QTest::newRow("long name cut to .desktop") << longA << QByteArray("\n[Desktop Entry]\nExec=sh -c evil\n");
        QTest::newRow("desktop entry after a line") << "notes.txt" << QByteArray("\n\n[Desktop Entry]\nExec=x\n");
        QTest::newRow("script by the MIME database") << "report.awk" << QByteArray("BEGIN { print }");
        QTest::newRow("theme by the MIME database") << "look.theme" << QByteArray("[Desktop Entry]");
    }
    void executablesAreNeverLaunched()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        TShown shown(PlainMail("x", { { name.toStdString(), data.toStdString() } }));
        TfrmMessage& form = shown.Form;
        Child<QListWidget>(&form, "lvAttachments")->setCurrentRow(0);
        QStringList dialogs;
        quorra_test::TModalHandler boxes([&](QDialog* d) {
            dialogs << d->objectName();
            if (auto* box = qobject_cast<QMessageBox*>(d))
                box->done(QMessageBox::No);
            else
                d->reject();
        });
        form.miAttachSaveClick(1);
        QTRY_COMPARE(dialogs, QStringList { "ExecutableBox" });
        QVERIFY(boxes.Seen().front().contains(name));
        QVERIFY(shown.Opened.isEmpty());
    }

    // Names whose cut to the file-name limit would have ended in ".jar" or ".desktop" (with 2-byte UTF-8 too):
    // the file the desktop is handed has no runnable name and is no runnable type.
    void cutNamesNeverGainARunnableExtension()
    {
        for (const QString& name : { "A" + QString(125, QChar(0xE9)) + ".jar" + QString(20, u'X'),
                 QString(247, u'A') + ".desktop" + QString(20, u'X') }) {
            TShown shown(
                PlainMail("x", { { name.toStdString(), std::string("PK\x03\x04", 4) + std::string(100, '\0') } }));
            const QStringList& opened = shown.Opened;
            Child<QListWidget>(&shown.Form, "lvAttachments")->setCurrentRow(0);
            quorra_test::TModalHandler boxes;
            shown.Form.miAttachSaveClick(1);
            QCOMPARE(opened.size(), 1);
            const QString written = QFileInfo(opened[0]).fileName();
            QVERIFY(written.toUtf8().size() <= 255);
            QVERIFY2(!IsExecutableAttachment(written.toStdString(), "") && !IsLaunchableFile(opened[0]),
                qPrintable(written));
        }
    }

    // Item 12: bidirectional controls in names and header fields are shown visibly, so "invoice<RLO>gnp.exe"
    // cannot read as "...exe.png", in the list, the header and the "program" warning; a right-to-left name set into
    // the warning's sentence is isolated from it.
    void hostileBidiControlsAreShownVisibly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("inWarning");
        QTest::newRow("override") << QString::fromUtf8("invoice\u202Egnp.exe") << "invoice[RLO]gnp.exe"
                                  << "invoice[RLO]gnp.exe";
        QTest::newRow("isolates and marks")
            << QString::fromUtf8("a\u2067b\u2069\u200Fc.exe") << "a[RLI]b[PDI][RLM]c.exe"
            << "a[RLI]b[PDI][RLM]c.exe";
        QTest::newRow("hebrew") << QString::fromUtf8("\u05D7\u05E9\u05D1\u05D5\u05DF.exe")
                                << QString::fromUtf8("\u05D7\u05E9\u05D1\u05D5\u05DF.exe")
                                << QString::fromUtf8("\u2068\u05D7\u05E9\u05D1\u05D5\u05DF.exe\u2069");
    }
    void hostileBidiControlsAreShownVisibly()
    {
        QFETCH(QString, name);
        QFETCH(QString, listed);
        QFETCH(QString, inWarning);
        TnefBuilder b;
        b.Version().MessageClass("IPM.Note").Subject("x");
        TnefPropList props;
        props.Unicode(pelmsg::kIdSubject, "Invoice \u202Efdp.exe").Unicode(pelmsg::kIdBody, "x");
        b.MapiProps(props);
        TnefPropList a;
        a.Unicode(pelmsg::kIdAttachLongFileName, name.toStdString()).Unicode(0x3001, name.toStdString());
        b.AttachRenddata().AttachTitle("x.exe").AttachData("MZ").AttachmentProps(a);
        TShown shown(quorra_test::LoadTnef(b.Bytes()));
        TfrmMessage& form = shown.Form;
        auto* list = Child<QListWidget>(&form, "lvAttachments");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), listed);
        QCOMPARE(Child<QLineEdit>(&form, "edSubject")->text(), QStringLiteral("Invoice [RLO]fdp.exe"));
        list->setCurrentRow(0);
        quorra_test::TModalHandler boxes([&](QDialog* d) {
            if (auto* box = qobject_cast<QMessageBox*>(d))
                box->done(QMessageBox::No);
            else
                d->reject();
        });
        form.miAttachSaveClick(1);
        QTRY_COMPARE(boxes.Count(), 1);
        QVERIFY2(boxes.Seen().front().contains(inWarning), qPrintable(boxes.Seen().front()));
        QVERIFY(!boxes.Seen().front().contains(QChar(0x202E)));
        QVERIFY(shown.Opened.isEmpty());
    }

    // Save proposes a safe name in the attachment folder and writes the attachment's bytes there.
    void saveProposesASafeName()
    {
        TSettings settings;
        settings.DirKind = TDirKind::Custom;
        settings.CustomDir = home_->Path("home").toStdString();
        TShown shown(PlainMail("x", { { "../evil/..\\report.pdf", "%PDF-1.4 data" } }), settings);
        TfrmMessage& form = shown.Form;
        Child<QListWidget>(&form, "lvAttachments")->setCurrentRow(0);
        QString proposed;
        quorra_test::TModalHandler dialogs(
            [&](QDialog* d) {
                auto* files = qobject_cast<QFileDialog*>(d);
                if (!files) {
                    quorra_test::TModalHandler::CloseAll(d);
                    return;
                }
                proposed = files->selectedFiles().value(0);
                QMetaObject::invokeMethod(files, "accept");
            },
            1);
        form.miAttachSaveClick(2);
        QTRY_VERIFY(!proposed.isEmpty());
        QCOMPARE(QFileInfo(proposed).absolutePath(), home_->Path("home"));
        QVERIFY(!QFileInfo(proposed).fileName().contains('/'));
        QFile saved(proposed);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("%PDF-1.4 data"));
        QCOMPARE(shown.Settings.LastUsedDir, home_->Path("home").toStdString());
    }

    // An attached message opens in a modal preview, and one attached to it in another.
    void attachedMessagesOpenAtAnyDepth()
    {
        QString found;
        for (const QString& name : QDir(QStringLiteral(TESSALY_CORPUS_DIR "/tnef")).entryList(QDir::Files)) {
            auto m = pelmsg::CreateMessageForFile((TESSALY_CORPUS_DIR "/tnef/" + name).toStdString());
            try {
                m->LoadFromFile((TESSALY_CORPUS_DIR "/tnef/" + name).toStdString());
            } catch (const std::exception&) {
                continue;
            }
            for (int i = 0; i < m->Properties().AttachmentCount(); ++i)
                if (m->Properties().Attachments(i) && m->Properties().Attachments(i)->IsEmbeddedMessage())
                    found = TESSALY_CORPUS_DIR "/tnef/" + name;
            if (!found.isEmpty())
                break;
        }
        if (found.isEmpty())
            QSKIP("no corpus TNEF with an attached message");
        TShown shown(LoadFile(found));
        TfrmMessage& form = shown.Form;
        const pelmsg::TMSGProperties& message = shown.Message->Properties();
        auto* list = Child<QListWidget>(&form, "lvAttachments");
        int row = -1;
        for (int i = 0; i < list->count(); ++i)
            if (message.Attachments(i) && message.Attachments(i)->IsEmbeddedMessage())
                row = i;
        QVERIFY(row >= 0);
        list->setCurrentRow(row);
        QString subject;
        int depth = 0;
        quorra_test::TModalHandler dialogs([&](QDialog* d) {
            if (d->objectName() == QLatin1String("frmMessageWindow")) {
                ++depth;
                auto* inner = d->findChild<TfrmMessage*>();
                subject = inner->findChild<QLineEdit*>("edSubject")->text();
                QCOMPARE(d->windowTitle(), list->item(row)->text());
            }
            quorra_test::TModalHandler::CloseAll(d);
        });
        form.miAttachSaveClick(1);
        QTRY_COMPARE(depth, 1);
        qInfo("attached message of %s: \"%s\"", qPrintable(QFileInfo(found).fileName()), qPrintable(subject));
    }

    // A large RTF body of an attached message is decoded and read in a worker, as the preview's own is: its window,
    // opened by a double-click on the row while every worker is busy, shows at once with the rich-text tab and an
    // empty view, and the whole text once a worker has read it. The window shows the attached message, not the
    // attachment's data text Outlook writes before it.
    void attachedMessageReadsItsLargeRtfBodyInAWorker()
    {
        const std::string rtf = "{\\rtf1\\ansi first " + std::string(size_t(kRtfInWorkerChars), 'x') + " last\\par}";
        TnefPropList body;
        body.Binary(pelmsg::kIdRtfCompressed, pelmsg::UncompressedRtfStream(rtf, true));
        const std::string inner = TnefBuilder().Version().MessageClass("IPM.Note").MapiProps(body).Bytes();
        TnefBuilder outer;
        outer.Version().MessageClass("IPM.Note").AttachRenddata();
        outer.AttachData("This attachment is a MAPI 1.0 embedded message and is not supported by this mail system.");
        outer.AttachmentProps(TnefPropList().Object(0x3701, inner).Long(0x3705, 5).String8(0x3001, "inner"));
        const std::shared_ptr<pelmsg::TPelMessage> message = quorra_test::LoadTnef(outer.Bytes());
        TSettings settings;
        TfrmMessage form(settings);
        form.SetMessageKeeper(message);
        form.FillPreview(&message->Properties());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QSemaphore busy;
        const int workers = DocumentWorkers()->maxThreadCount();
        for (int i = 0; i < workers; ++i)
            DocumentWorkers()->start([&busy] { busy.acquire(); });
        QString text;
        quorra_test::TModalHandler dialogs(
            [&](QDialog* d) {
                const auto close = qScopeGuard([d] { d->reject(); });
                auto* attached = d->findChild<TfrmMessage*>();
                QCOMPARE(attached->AttachmentCount(), 0);
                auto* view = attached->findChild<QTextEdit*>("reRTFBody");
                QVERIFY(TabShown(*attached, "tsRTFBody") && view->isVisible() && view->document()->isEmpty());
                busy.release(workers);
                QTRY_VERIFY_WITH_TIMEOUT(!view->document()->isEmpty(), 30000);
                text = view->toPlainText().trimmed();
            },
            1);
        auto* list = Child<QListWidget>(&form, "lvAttachments");
        const QPoint at = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        busy.release(workers); // the workers end in any case
        DocumentWorkers()->waitForDone();
        QVERIFY2(text.startsWith("first xxx") && text.endsWith("xxx last"), qPrintable(text.left(80)));
    }

    // An OLE object cannot be activated here: its class and size are shown, and the file it packages opens.
    void oleObjectShowsClassAndOpensItsPackage()
    {
        const QString file = QStringLiteral(TESSALY_CORPUS_DIR "/tnef/verdammelt-tnef__MAPI_OBJECT.tnef");
        if (!QFile::exists(file))
            QSKIP("corpus not found");
        TShown shown(LoadFile(file));
        TfrmMessage& form = shown.Form;
        const QStringList& opened = shown.Opened;
        Child<QListWidget>(&form, "lvAttachments")->setCurrentRow(0);
        form.pmAttachmentPopup();
        QCOMPARE(Child<QAction>(&form, "miEncoding")->text(), QStringLiteral("Encoding: OLE-object"));
        QVERIFY(!Child<QAction>(&form, "miAttachSave")->isEnabled());
        QString text;
        quorra_test::TModalHandler dialogs(
            [&](QDialog* d) {
                auto* box = qobject_cast<QMessageBox*>(d);
                QVERIFY(box && d->objectName() == QLatin1String("frmOleObject"));
                text = box->text();
                box->findChild<QPushButton*>("btnOleOpen")->click();
            },
            1);
        form.miAttachSaveClick(1);
        QTRY_COMPARE(opened.size(), 1);
        QVERIFY2(text.contains("{0003000C-0000-0000-C000-000000000046}"), qPrintable(text));
        QVERIFY(text.contains("Type: Package"));
        QVERIFY(text.contains("AsNew Staff pricelist Oct 02.pdf"));
        QCOMPARE(QFileInfo(opened[0]).fileName(), QStringLiteral("AsNew Staff pricelist Oct 02.pdf"));
        QFile f(opened[0]);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(5) == "%PDF-");
    }

    // Print renders the header and the active body; to PDF through QPrinter.
    void printsHeaderAndBodyToPdf()
    {
        TMail mail = PlainMail("Body line one\nBody line two");
        mail.Cc = "Carl";
        TShown shown(mail);
        TfrmMessage& form = shown.Form;
        QTextDocument document;
        form.FillPrintDocument(document);
        const QString text = document.toPlainText();
        for (const char* part : { "From:", "Bob", "To:", "Ann <ann@example.org>", "CC:", "Carl", "Subject:",
                 "Quarterly figures", "Body line one", "Body line two" })
            QVERIFY2(text.contains(QLatin1String(part)), part);
        QVERIFY(!text.contains(QLatin1String("BCC:")));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = home_->Path("home/mail.pdf");
        printer.setOutputFileName(pdf);
        form.Print(printer);
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(5) == "%PDF-");
        QVERIFY(f.size() > 1000);
    }

    // A print in a worker writes the PDF only when it is complete: cancelled, it leaves no file of its own in the
    // folder and the file it was to replace as it was; not cancelled, the whole PDF and nothing else.
    void printInTheBackgroundLeavesNoPartialPdf()
    {
        for (const bool cancel : { true, false }) {
            TSettings settings;
            TfrmMessage form(settings);
            TMail mail;
            mail.Plain = "Body line one";
            std::shared_ptr<pelmsg::TPelMessage> message = Load(mail);
            form.SetMessageKeeper(message);
            form.FillPreview(&message->Properties());
            QDir folder(home_->Path("home"));
            const QString pdf = folder.filePath(QStringLiteral("mail.pdf"));
            QFile old(pdf);
            QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
            old.write("old");
            old.close();
            const QStringList before = folder.entryList(QDir::Files | QDir::Hidden);
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            QSignalSpy ended(&form, &TfrmMessage::PrintEnded);
            form.StartPrint(std::move(printer));
            auto* progress = form.findChild<QProgressDialog*>(QStringLiteral("WorkProgress"));
            QVERIFY(progress);
            if (cancel)
                emit progress->canceled(); // the dialog's Cancel button
            QTRY_COMPARE(ended.count(), 1);
            QCOMPARE(ended[0][0].toBool(), !cancel);
            QCOMPARE(ended[0][1].toBool(), cancel);
            // The worker has ended and removed what it wrote.
            DocumentWorkers()->waitForDone();
            QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), before);
            QVERIFY(old.open(QIODevice::ReadOnly));
            const QByteArray start = old.read(5);
            old.close();
            QCOMPARE(start, cancel ? QByteArray("old") : QByteArray("%PDF-"));
        }
    }

    void emptiedWithoutAMessage()
    {
        TShown shown(PlainMail("x", { { "a.txt", "a" } }));
        TfrmMessage& form = shown.Form;
        QCOMPARE(form.AttachmentCount(), 1);
        form.FillPreview(nullptr);
        QCOMPARE(form.AttachmentCount(), 0);
        QVERIFY(Child<QLineEdit>(&form, "edSubject")->text().isEmpty());
        QVERIFY(Child<QTextEdit>(&form, "reBody")->toPlainText().isEmpty());
    }

    // After a save the strip says how many files went where, the home folder as "~"; a new message clears it.
    void saveSummaryUnderTheStrip_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("summary");
        QTest::newRow("one, in the home") << 1 << "HOME/Downloads/winmail"
                                          << "1 file saved in ~/Downloads/winmail";
        QTest::newRow("three, elsewhere") << 3 << "/srv/mail"
                                          << "3 files saved in /srv/mail";
        QTest::newRow("none") << 0 << "/srv/mail"
                              << "";
    }
    void saveSummaryUnderTheStrip()
    {
        QFETCH(int, count);
        QFETCH(QString, folder);
        QFETCH(QString, summary);
        folder.replace("HOME", QDir::homePath());
        TShown shown(LoadFile(TESSALY_SOURCE_DIR "/samples/winmail.dat"));
        TfrmMessage& form = shown.Form;
        form.ShowSaveSummary(count, folder);
        QCOMPARE(form.SaveSummary(), summary);
        QCOMPARE(Child<QPushButton>(&form, "btnOpenFolder")->isHidden(), summary.isEmpty());
        // Each attachment's tooltip names it and gives its size.
        auto* list = Child<QListWidget>(&form, "lvAttachments");
        QVERIFY(list->item(0)->toolTip().contains("bytes"));
        form.FillPreview(&shown.Message->Properties());
        QCOMPARE(form.SaveSummary(), QString());
    }
};

QTEST_MAIN(TestMessagePreview)
#include "tst_message_preview.moc"
