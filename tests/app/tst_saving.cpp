// Save As and Save attachments driven through the real dialogs: the filter and the name it proposes, the type
// change, the extension deciding the format, the open file never overwritten, iCalendar and vCard offered for the
// right items only; the attachment list, hostile and equal names, a file already in the folder with each answer,
// attached messages saved as .msg, and every corpus TNEF written as the tnef tool extracts it.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include "attachments_dialog.h"
#include "calendar/named_lookup.h"
#include "calendar_builder.h"
#include "command_line.h"
#include "pelmsg.h"
#include "save_formats.h"
#include "saved_files.h"
#include "tnef_builder.h"
#include "window_fixture.h"

using namespace quorra;
using namespace pelmsg::test;
using quorra_test::TModalHandler;
using namespace quorra_test;

namespace {

// One attachment of a test message: a file (name, bytes), or an attached message whose caption is the name.
struct TAttachment {
    std::string Name;
    std::string Data;
    bool Message = false;
};

std::string MessageWith(const std::vector<TAttachment>& attachments)
{
    TnefBuilder b;
    b.Version().MessageClass("IPM.Note").Subject("with attachments");
    for (const TAttachment& a : attachments) {
        TnefPropList props;
        if (a.Message) {
            const std::string inner = TnefBuilder().Version().MessageClass("IPM.Note").Subject(a.Data).Bytes();
            props.Object(0x3701, inner).String8(0x3001, a.Name);
            b.AttachRenddata().AttachData("This attachment is a MAPI 1.0 embedded message").AttachmentProps(props);
        } else {
            props.String8(0x3707, a.Name);
            b.AttachRenddata().AttachTitle(a.Name).AttachData(a.Data).AttachmentProps(props);
        }
    }
    return b.Bytes();
}

// A calendar item, task or contact of the message class; events get a start and an end.
std::string ItemOfClass(const std::string& messageClass)
{
    TnefPropList p;
    p.String8(0x0037, "Standup");
    if (messageClass.find("Appointment") != std::string::npos || messageClass.find("Schedule") != std::string::npos)
        p.Raw(0x8100u << 16 | 0x0040,
             NamedNumber(pelmsg::kPsetidAppointment, 0x820D) + TnefSysTime(FileTimeOf(2023, 1, 6, 9, 0, 0)))
            .Raw(0x8101u << 16 | 0x0040,
                NamedNumber(pelmsg::kPsetidAppointment, 0x820E) + TnefSysTime(FileTimeOf(2023, 1, 6, 9, 15, 0)));
    if (messageClass == "IPM.Contact")
        p.String8(0x3001, "Ann Example").String8(0x3A06, "Ann").String8(0x3A11, "Example");
    return TnefBuilder().Version().MessageClass(messageClass).MapiProps(p).Bytes();
}

// Picks a filter of the file dialog as a user does: opens the file-type list and clicks the entry.
void ChooseFilter(QFileDialog* dialog, int index)
{
    auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
    QVERIFY(combo);
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    QTRY_VERIFY(view->isVisible());
    const QRect item = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!view->isVisible());
    QCOMPARE(combo->currentIndex(), index);
}

QString TypedName(QFileDialog* dialog) { return dialog->findChild<QLineEdit*>("fileNameEdit")->text(); }

} // namespace

class TestSaving : public quorra_test::TWindowTest {
    Q_OBJECT

private:
    // Runs Save attachments: `select` sets the check marks in the dialog (nullptr cancels it), the folder browser
    // chooses `folder` (empty cancels it), and existing files are answered with `answer` ("btnReplace",
    // "btnKeepBoth", "btnSkip"), for all when forAll is set. Returns what was seen.
    QStringList SaveAttachments(TfrmMain& w, const std::function<void(TfrmAttachments*)>& select, const QString& folder,
        const char* answer = "btnKeepBoth", bool forAll = false)
    {
        TModalHandler dialogs([&](QDialog* d) {
            if (auto* list = qobject_cast<TfrmAttachments*>(d)) {
                if (!select)
                    return list->findChild<QPushButton*>("btnCancel")->click();
                select(list);
                return list->findChild<QPushButton*>("btnSave")->click();
            }
            if (auto* fd = qobject_cast<QFileDialog*>(d)) {
                if (folder.isEmpty())
                    return fd->reject();
                fd->setDirectory(folder);
                return Accept(fd, folder);
            }
            if (d->objectName() == "ExistingFileBox") {
                d->findChild<QCheckBox*>("cbForAll")->setChecked(forAll);
                return d->findChild<QPushButton*>(answer)->click();
            }
            TModalHandler::CloseAll(d);
        });
        w.Actions().miFileSaveAttachments->trigger();
        return dialogs.Seen();
    }

private slots:
    // Item 16: Save attachments captions its first column as the name label, asks "Select directory", and starts
    // at the folder of the file that was loaded ("folder of the file"), whatever the box holds by then.
    void saveAttachmentsPromptCaptionAndStartFolder()
    {
        const QString input = home_->Copy(SamplePath(), "mail.dat");
        auto w = Opened(input);
        QVERIFY(w->Message());
        w->Settings().DirKind = TDirKind::MessageFolder;
        QVERIFY(QDir().mkpath(home_->Path("cwd")));
        w->findChild<QComboBox*>("cbFileName")->setEditText(home_->Path("cwd/other.dat"));
        QString caption, title, start;
        TModalHandler dialogs([&](QDialog* d) {
            if (auto* list = qobject_cast<TfrmAttachments*>(d)) {
                caption = list->findChild<QTreeWidget*>("lvAttachments")->headerItem()->text(0);
                return list->findChild<QPushButton*>("btnSave")->click();
            }
            if (auto* fd = qobject_cast<QFileDialog*>(d)) {
                title = fd->windowTitle();
                start = fd->directory().absolutePath();
                return fd->reject();
            }
            TModalHandler::CloseAll(d);
        });
        w->Actions().miFileSaveAttachments->trigger();
        QCOMPARE(caption, w->findChild<QLabel*>("lblPropName")->text());
        QCOMPARE(caption, QStringLiteral("Name:"));
        QCOMPARE(title, QStringLiteral("Select directory"));
        QCOMPARE(start, QDir(home_->Path("home")).absolutePath());
    }

    void saveAsProposesTheNameAndFollowsTheFilter()
    {
        const QString input = home_->Copy(SamplePath(), "mail.dat");
        auto w = Opened(input);
        QStringList filters;
        QStringList typed;
        const QStringList seen = SaveAs(*w, [&](QFileDialog* fd) {
            filters = fd->nameFilters();
            typed << TypedName(fd);
            ChooseFilter(fd, 2); // XML
            typed << TypedName(fd);
            ChooseFilter(fd, 7); // All files: the typed name stays
            typed << TypedName(fd);
            ChooseFilter(fd, 1); // HTML
            typed << TypedName(fd);
            fd->findChild<QLineEdit*>("fileNameEdit")->setText("notes");
            ChooseFilter(fd, 3); // Mails: a name without extension gets one
            typed << TypedName(fd);
            ChooseFilter(fd, 0); // Text, but the typed extension decides
            Accept(fd, "out.HTML");
        });
        QCOMPARE(filters,
            QStringList({ "Text files (*.txt)", "HTML files (*.htm *.html)", "XML files (*.xml)", "Mails (*.eml)",
                "MS Outlook messages (*.msg)", "PDF (*.pdf)", "Web page, as shown (*.html)", "All files (*)" }));
        QCOMPARE(typed, QStringList({ "mail.txt", "mail.xml", "mail.xml", "mail.htm", "notes.eml" }));
        const QByteArray html = ReadAll(home_->Path("home/out.HTML"));
        QVERIFY2(html.contains("<html") || html.contains("<HTML"), html.left(200).constData());
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.at(1), home_->Path("home/out.HTML") + " file created successfully.");
    }

    void typeChangeRule_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("expected");
        QTest::newRow("replaced") << "mail.txt"
                                  << ".xml"
                                  << "mail.xml";
        QTest::newRow("added") << "notes"
                               << ".eml"
                               << "notes.eml";
        QTest::newRow("last dot only") << "a.tar.gz"
                                       << ".msg"
                                       << "a.tar.msg";
        QTest::newRow("dot in a folder") << "dir.d/notes"
                                         << ".htm"
                                         << "dir.d/notes.htm";
        QTest::newRow("all files keeps") << "mail.xml"
                                         << ""
                                         << "mail.xml";
        QTest::newRow("nothing typed") << ""
                                       << ".txt"
                                       << "";
    }

    void typeChangeRule()
    {
        QFETCH(QString, typed);
        QFETCH(QString, extension);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(TypeChangedName(typed.toStdString(), extension.toStdString())), expected);
    }

    void theDialogStartsWithTheLastFilterAndCancelWritesNothing()
    {
        const QString input = home_->Copy(SamplePath(), "mail.dat");
        auto w = Opened(input);
        SaveAs(*w, [&](QFileDialog* fd) {
            ChooseFilter(fd, 2);
            Accept(fd, TypedName(fd));
        });
        QVERIFY(ReadAll(home_->Path("home/mail.xml")).startsWith("<?xml"));

        QString proposed;
        QString filter;
        const QStringList before = FilesUnder(home_->Path("home"));
        QStringList seen = SaveAs(*w, [&](QFileDialog* fd) {
            proposed = TypedName(fd);
            filter = fd->selectedNameFilter();
            fd->reject();
        });
        QCOMPARE(proposed, "mail.xml");
        QCOMPARE(filter, "XML files (*.xml)");
        QCOMPARE(seen.size(), 1);
        QCOMPARE(FilesUnder(home_->Path("home")), before);

        // "All files" chosen last: the proposal has no extension; the default one makes it text.
        SaveAs(*w, [&](QFileDialog* fd) {
            ChooseFilter(fd, 7);
            Accept(fd, TypedName(fd));
        });
        seen = SaveAs(*w, [&](QFileDialog* fd) {
            proposed = TypedName(fd);
            Accept(fd, proposed);
        });
        QCOMPARE(proposed, "mail");
        QVERIFY(ReadAll(home_->Path("home/mail.txt")).contains("Minutes of the Z"));
    }

    // The message as shown: the PDF is proposed under the subject; an HTML name is the web page with its entry
    // chosen and the listing form with the HTML entry.
    void pdfAndWebPageAsShown()
    {
        const QString input = home_->Copy(SamplePath(), "mail.dat");
        auto w = Opened(input);
        QString proposed;
        SaveAs(*w, [&](QFileDialog* fd) {
            ChooseFilter(fd, 5);
            proposed = TypedName(fd);
            Accept(fd, proposed);
        });
        QCOMPARE(proposed, QStringLiteral("Minutes of the Z\u00FCrich meeting.pdf"));
        QVERIFY(ReadAll(home_->Path("home/" + proposed)).startsWith("%PDF-"));
        SaveAs(*w, [&](QFileDialog* fd) {
            ChooseFilter(fd, 6);
            Accept(fd, "page.html");
        });
        const QByteArray page = ReadAll(home_->Path("home/page.html"));
        QVERIFY2(page.startsWith("<!DOCTYPE html>") && page.contains("src=\"data:image/"), page.left(200).constData());
        SaveAs(*w, [&](QFileDialog* fd) {
            ChooseFilter(fd, 1);
            Accept(fd, "listing.html");
        });
        QVERIFY(!ReadAll(home_->Path("home/listing.html")).startsWith("<!DOCTYPE html>"));
    }

    void saveModeAndTheDialogAfterSaving()
    {
        const QString input = home_->Copy(SamplePath(), "mail.dat");
        auto w = Opened(input);
        const QStringList all = SaveAs(*w, [&](QFileDialog* fd) { Accept(fd, "all.msg"); });
        QCOMPARE(all.size(), 2); // the dialog and the box
        w->Settings().SaveMode = TSaveMode::CommonProperties;
        w->Settings().DisableDialogAfterSave = true;
        const QStringList common = SaveAs(*w, [&](QFileDialog* fd) { Accept(fd, "common.msg"); });
        QCOMPARE(common.size(), 1);
        SaveAs(*w, [&](QFileDialog* fd) { Accept(fd, "common.txt"); });
        w->Settings().SaveMode = TSaveMode::AllProperties;
        SaveAs(*w, [&](QFileDialog* fd) { Accept(fd, "all.txt"); });
        const QByteArray allMsg = ReadAll(home_->Path("home/all.msg"));
        const QByteArray commonMsg = ReadAll(home_->Path("home/common.msg"));
        QVERIFY(allMsg.startsWith("\xD0\xCF\x11\xE0"));
        QVERIFY(commonMsg.startsWith("\xD0\xCF\x11\xE0"));
        QVERIFY2(commonMsg.size() < allMsg.size(), qPrintable(QString::number(commonMsg.size())));
        QVERIFY(ReadAll(home_->Path("home/common.txt")).size() < ReadAll(home_->Path("home/all.txt")).size());
    }

    void theOpenFileIsNeverOverwritten()
    {
        const QString input = home_->Copy(SamplePath(), "mail.dat");
        const QByteArray original = ReadAll(input);
        QVERIFY(QFile::link(input, home_->Path("home/link.msg")));
        auto w = Opened(input);
        // The file-name box edited after the load does not hide which file is open.
        w->findChild<QComboBox*>("cbFileName")->setEditText(home_->Path("home/other.dat"));
        for (const QString& name : { QString("mail.dat"), QString("link.msg") }) {
            // Qt's dialog asks before replacing an existing file (answered yes); then the save is refused.
            const QStringList seen = SaveAs(*w, [&](QFileDialog* fd) {
                ChooseFilter(fd, 7);
                Accept(fd, name);
            });
            QVERIFY2(seen.size() == 3, qPrintable(seen.join(" | ")));
            QCOMPARE(seen.at(2),
                home_->Path("home/" + name)
                    + " is the message that is open, so it cannot be overwritten. Please choose another file name.");
            QCOMPARE(ReadAll(input), original);
        }
        QVERIFY(QFileInfo(home_->Path("home/link.msg")).isSymLink());
        // The command line refuses it as well.
        TSettings settings;
        std::ostringstream errors;
        const TCommandLine c = ParseCommandLine({ input.toStdString(), "/E", "txt", input.toStdString() });
        QCOMPARE(RunExport(settings, c, errors), 1);
        QVERIFY2(errors.str().find("it is the file being read") != std::string::npos, errors.str().c_str());
        QCOMPARE(ReadAll(input), original);
    }

    void calendarFormatsAreOfferedForTheirItems_data()
    {
        QTest::addColumn<QString>("messageClass");
        QTest::addColumn<QString>("offered"); // the filter before "All files", or empty
        QTest::addColumn<QString>("begins");
        QTest::newRow("mail") << "IPM.Note"
                              << ""
                              << "";
        QTest::newRow("appointment") << "IPM.Appointment"
                                     << "iCalendar (*.ics)"
                                     << "BEGIN:VCALENDAR\r\n";
        QTest::newRow("meeting request") << "IPM.Microsoft Schedule.MtgReq"
                                         << "iCalendar (*.ics)"
                                         << "BEGIN:VCALENDAR\r\n";
        QTest::newRow("task") << "IPM.Task"
                              << "iCalendar (*.ics)"
                              << "BEGIN:VCALENDAR\r\n";
        QTest::newRow("contact") << "IPM.Contact"
                                 << "vCard (*.vcf)"
                                 << "BEGIN:VCARD\r\n";
        QTest::newRow("distribution list") << "IPM.DistList"
                                           << "vCard (*.vcf)"
                                           << "BEGIN:VCARD\r\n";
        QTest::newRow("note") << "IPM.StickyNote"
                              << ""
                              << "";
    }

    void calendarFormatsAreOfferedForTheirItems()
    {
        QFETCH(QString, messageClass);
        QFETCH(QString, offered);
        QFETCH(QString, begins);
        auto w = Opened(Write("item.dat", ItemOfClass(messageClass.toStdString())));
        QStringList filters;
        QString typed;
        SaveAs(*w, [&](QFileDialog* fd) {
            filters = fd->nameFilters();
            if (offered.isEmpty())
                return Accept(fd, "item.ics"); // a mail typed as .ics is saved as text
            ChooseFilter(fd, 5);
            typed = TypedName(fd);
            Accept(fd, typed);
        });
        QCOMPARE(filters.last(), "All files (*)");
        if (offered.isEmpty()) {
            QCOMPARE(filters.size(), 8);
            QVERIFY(!filters.join(';').contains(".ics") && !filters.join(';').contains(".vcf"));
            QVERIFY(!ReadAll(home_->Path("home/item.ics")).startsWith("BEGIN:"));
            QVERIFY(ReadAll(home_->Path("home/item.ics")).size() > 0);
            return;
        }
        QCOMPARE(filters.size(), 9);
        QCOMPARE(filters.at(5), offered);
        QCOMPARE(typed, offered.contains("ics") ? "item.ics" : "item.vcf");
        const QByteArray text = ReadAll(home_->Path("home/" + typed));
        QVERIFY2(text.startsWith(begins.toUtf8()), text.left(100).constData());
        // A contact is called by its name; a calendar item and a distribution list by their subject.
        QVERIFY(text.contains(messageClass == "IPM.Contact" ? "Ann" : "Standup"));
    }

    void theAttachmentListAndItsPopup()
    {
        auto w = Opened(Write(
            "list.dat", MessageWith({ { "a.txt", "a" }, { "Re: a/b", "inner", true }, { "../../escape.txt", "e" } })));
        QStringList captions;
        QList<bool> checkedAtStart, afterUnselect, afterInvert;
        bool note = false;
        QStringList fileNames;
        const QStringList seen = SaveAttachments(*w, nullptr, QString());
        QCOMPARE(seen.size(), 1); // cancelled: no folder is asked for
        SaveAttachments(
            *w,
            [&](TfrmAttachments* d) {
                auto* list = d->findChild<QTreeWidget*>("lvAttachments");
                for (int i = 0; i < d->Count(); ++i) {
                    captions << list->topLevelItem(i)->text(0);
                    fileNames << list->topLevelItem(i)->text(1);
                    checkedAtStart << d->IsChecked(i);
                }
                note = d->findChild<QLabel*>("lblMessagesNote")->isVisibleTo(d);
                d->findChild<QAction*>("miUnselectAll")->trigger();
                for (int i = 0; i < d->Count(); ++i)
                    afterUnselect << d->IsChecked(i);
                d->SetChecked(1, true);
                d->findChild<QAction*>("miInvert")->trigger();
                for (int i = 0; i < d->Count(); ++i)
                    afterInvert << d->IsChecked(i);
                d->findChild<QAction*>("miSelectAll")->trigger();
                QVERIFY(d->IsChecked(0) && d->IsChecked(1) && d->IsChecked(2));
                d->findChild<QPushButton*>("btnCancel")->click();
            },
            QString());
        // The names the user knows them by; the files get safe names.
        QCOMPARE(captions, QStringList({ "a.txt", "Re: a/b", "../../escape.txt" }));
        QCOMPARE(fileNames, QStringList({ "a.txt", "Re_ a_b.msg", "_.._escape.txt" }));
        QCOMPARE(checkedAtStart, QList<bool>({ true, false, true }));
        QVERIFY(note);
        QCOMPARE(afterUnselect, QList<bool>({ false, false, false }));
        QCOMPARE(afterInvert, QList<bool>({ true, false, true }));

        // Without an attached message there is no note.
        auto plain = Opened(Write("plain.dat", MessageWith({ { "a.txt", "a" } })));
        SaveAttachments(
            *plain,
            [&](TfrmAttachments* d) {
                note = d->findChild<QLabel*>("lblMessagesNote")->isVisibleTo(d);
                d->findChild<QPushButton*>("btnCancel")->click();
            },
            QString());
        QVERIFY(!note);
    }

    void cancellingTheFolderSavesNothing()
    {
        auto w = Opened(Write("m.dat", MessageWith({ { "a.txt", "a" } })));
        const QStringList before = FilesUnder(home_->Path(""));
        const QStringList seen = SaveAttachments(
            *w, [](TfrmAttachments*) {}, QString());
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.at(1), QStringLiteral("BrowseForFolder: Select directory"));
        QCOMPARE(FilesUnder(home_->Path("")), before);
    }

    void checkedAttachedMessagesAreSavedAsMsg()
    {
        auto w = Opened(Write("fwd.dat",
            MessageWith({ { "a.txt", "file a" }, { "Re: a/b", "inner subject", true }, { "skipped", "x", true },
                { "empty.bin", "" } })));
        const QString folder = home_->Path("out");
        QDir().mkpath(folder);
        SaveAttachments(
            *w, [](TfrmAttachments* d) { d->SetChecked(1, true); }, folder);
        QCOMPARE(FilesUnder(folder), QStringList({ "Re_ a_b.msg", "a.txt", "empty.bin" }));
        QCOMPARE(ReadAll(folder + "/a.txt"), QByteArray("file a"));
        QVERIFY(QFileInfo(folder + "/empty.bin").isFile());
        QCOMPARE(QFileInfo(folder + "/empty.bin").size(), 0);
        auto saved = pelmsg::CreateMessageForFile((folder + "/Re_ a_b.msg").toStdString());
        QVERIFY(dynamic_cast<pelmsg::TPelMSGFile*>(saved.get()));
        saved->LoadFromFile((folder + "/Re_ a_b.msg").toStdString());
        QCOMPARE(QString::fromStdU16String(saved->Subject()), "inner subject");
    }

    void hostileNamesStayInsideTheFolder()
    {
        const std::vector<TAttachment> hostile = { { "../../escape.txt", "1" }, { "/etc/passwd", "2" }, { "..", "3" },
            { "a/b\\c:d*?.txt", "4" }, { "CON", "5" }, { std::string(400, 'n') + ".txt", "6" }, { "\x01\x02\x7F", "7" },
            { "../../../fwd: x", "8", true } };
        auto w = Opened(Write("hostile.dat", MessageWith(hostile)));
        const QString folder = home_->Path("home/out/deep");
        QDir().mkpath(folder);
        const QStringList before = FilesUnder(home_->Path(""));
        QStringList captions;
        SaveAttachments(
            *w,
            [&](TfrmAttachments* d) {
                for (int i = 0; i < d->Count(); ++i)
                    captions << d->findChild<QTreeWidget*>("lvAttachments")->topLevelItem(i)->text(0);
                d->findChild<QAction*>("miSelectAll")->trigger();
            },
            folder);
        QCOMPARE(captions.at(0), "../../escape.txt");
        QCOMPARE(captions.at(1), "/etc/passwd");
        const QStringList written = FilesUnder(folder);
        QCOMPARE(written.size(), qsizetype(hostile.size()));
        for (const QString& file : written) {
            QVERIFY2(!file.contains('/'), qPrintable(file));
            QVERIFY(file.toUtf8().size() <= 255);
        }
        QVERIFY(written.contains("_.._escape.txt"));
        QVERIFY(written.contains("_CON"));
        for (const QString& file : FilesUnder(home_->Path("")))
            QVERIFY2(before.contains(file) || file.startsWith("home/out/deep/"), qPrintable(file));
    }

    void equalNamesGetDistinctFiles()
    {
        auto w = Opened(Write("same.dat", MessageWith({ { "same.txt", "first" }, { "same.txt", "second" } })));
        const QString folder = home_->Path("out");
        QDir().mkpath(folder);
        const QStringList seen = SaveAttachments(
            *w, [](TfrmAttachments*) {}, folder);
        QVERIFY2(!seen.join('|').contains("already holds"), qPrintable(seen.join('|')));
        QCOMPARE(FilesUnder(folder), QStringList({ "same (2).txt", "same.txt" }));
        QCOMPARE(ReadAll(folder + "/same.txt"), QByteArray("first"));
        QCOMPARE(ReadAll(folder + "/same (2).txt"), QByteArray("second"));
    }

    void anExistingFileIsReplacedOnlyWhenTheUserSaysSo_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("forAll");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("contents"); // of report.pdf and notes.txt
        QTest::newRow("replace") << "btnReplace" << false << 2 << QStringList({ "notes.txt", "report.pdf" })
                                 << QStringList({ "new report", "new notes" });
        QTest::newRow("replace all") << "btnReplace" << true << 1 << QStringList({ "notes.txt", "report.pdf" })
                                     << QStringList({ "new report", "new notes" });
        QTest::newRow("keep both") << "btnKeepBoth" << false << 2
                                   << QStringList({ "notes (2).txt", "notes.txt", "report (2).pdf", "report.pdf" })
                                   << QStringList({ "old report", "old notes" });
        QTest::newRow("skip") << "btnSkip" << false << 2 << QStringList({ "notes.txt", "report.pdf" })
                              << QStringList({ "old report", "old notes" });
        QTest::newRow("skip all") << "btnSkip" << true << 1 << QStringList({ "notes.txt", "report.pdf" })
                                  << QStringList({ "old report", "old notes" });
    }

    void anExistingFileIsReplacedOnlyWhenTheUserSaysSo()
    {
        QFETCH(QString, answer);
        QFETCH(bool, forAll);
        QFETCH(int, questions);
        QFETCH(QStringList, files);
        QFETCH(QStringList, contents);
        auto w
            = Opened(Write("new.dat", MessageWith({ { "report.pdf", "new report" }, { "notes.txt", "new notes" } })));
        const QString folder = home_->Path("out");
        QDir().mkpath(folder);
        Write("../out/report.pdf", "old report");
        Write("../out/notes.txt", "old notes");
        const QStringList seen = SaveAttachments(
            *w, [](TfrmAttachments*) {}, folder, qPrintable(answer), forAll);
        QCOMPARE(seen.filter("already holds a file named").size(), questions);
        QVERIFY(seen.join('|').contains("already holds a file named \"report.pdf\""));
        QCOMPARE(FilesUnder(folder), files);
        QCOMPARE(QString(ReadAll(folder + "/report.pdf")), contents.at(0));
        QCOMPARE(QString(ReadAll(folder + "/notes.txt")), contents.at(1));
        if (answer == "btnKeepBoth") {
            QCOMPARE(ReadAll(folder + "/report (2).pdf"), QByteArray("new report"));
            QCOMPARE(ReadAll(folder + "/notes (2).txt"), QByteArray("new notes"));
        }
    }

    // A symbolic link planted in the folder is replaced only after a question that shows where it points, even
    // when "Replace" was answered for all.
    void aPlantedLinkIsReplacedOnlyAfterShowingWhereItPoints()
    {
        auto w = Opened(Write("links.dat", MessageWith({ { "a.txt", "new a" }, { "b.txt", "new b" } })));
        const QString folder = home_->Path("out");
        QDir().mkpath(folder);
        Write("../out/a.txt", "old a");
        Write("../secret.txt", "secret");
        QVERIFY(QFile::link(home_->Path("secret.txt"), folder + "/b.txt"));
        const QStringList seen = SaveAttachments(
            *w, [](TfrmAttachments*) {}, folder, "btnReplace", true);
        const QStringList questions = seen.filter("already holds a file named");
        QCOMPARE(questions.size(), 2);
        QVERIFY2(questions.at(1).contains("symbolic link to " + home_->Path("secret.txt")), qPrintable(questions.at(1)));
        QVERIFY(!questions.at(0).contains("symbolic link"));
        QCOMPARE(ReadAll(folder + "/a.txt"), QByteArray("new a"));
    }

    void theOpenMessageAndFoldersAreNeverReplaced()
    {
        // An attachment named like the open message, saved into its folder, and one named like a folder there.
        const QString input = Write("winmail.dat", MessageWith({ { "winmail.dat", "hostile" }, { "sub", "s" } }));
        const QByteArray original = ReadAll(input);
        QDir().mkpath(home_->Path("home/sub"));
        auto w = Opened(input);
        const QStringList seen = SaveAttachments(
            *w, [](TfrmAttachments*) {}, home_->Path("home"), "btnReplace", true);
        QVERIFY2(!seen.join('|').contains("already holds"), qPrintable(seen.join('|')));
        QCOMPARE(ReadAll(input), original);
        QCOMPARE(ReadAll(home_->Path("home/winmail (2).dat")), QByteArray("hostile"));
        QCOMPARE(ReadAll(home_->Path("home/sub (2)")), QByteArray("s"));
    }

    void corpusAttachmentsAreTheBytesTheTnefToolExtracts()
    {
        CompareAttachmentsWithTnefTool(home_->Path("corpus"), [&](const QString& file, const QString& folder) {
            std::unique_ptr<TfrmMain> w = Opened(file);
            QVERIFY2(w->Message(), qPrintable(file));
            SaveAttachments(
                *w, [](TfrmAttachments* d) { d->miSelectAllClick(0); }, folder);
            QCOMPARE(FilesUnder(folder).size(), qsizetype(w->Message()->Properties().AttachmentCount()));
        });
    }
};

QTEST_MAIN(TestSaving)
#include "tst_saving.moc"
