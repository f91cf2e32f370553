// Opening and saving in a worker, driven through the real window: the window keeps its document until the new
// one is read, Cancel in the progress dialog leaves the old document (opening) or the old file (saving) as it
// was and removes the save's temporary file, and a save in a worker writes what a save at once writes.

#include <optional>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include "document_loader.h"
#include "document_saver.h"
#include "pelmsg.h"
#include "save_formats.h"
#include "test_data.h"
#include "window_fixture.h"
#include "work_progress.h"

using namespace quorra;
using quorra_test::TModalHandler;

namespace {

const QString kFirst = TESSALY_CORPUS_DIR "/msg/email-outlook-message-perl__plain_jpeg_attached.msg";
const QString kSecond = TESSALY_CORPUS_DIR "/tnef/horde-compress__TnefAttachmentsMultiple.tnef";

QByteArray Contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QPushButton* CancelButton(QWidget& w)
{
    auto* progress = w.findChild<TWorkProgress*>();
    return progress ? progress->findChild<QPushButton*>() : nullptr;
}

} // namespace

class TestBackgroundWork : public quorra_test::TWindowTest {
    Q_OBJECT

    // Runs Save As to `target` (calling beforeAccept just before the file dialog is accepted).
    static QStringList SaveAsTo(TfrmMain& w, const QString& target, const std::function<void()>& beforeAccept = {})
    {
        return SaveAs(w, [&](QFileDialog* fd) {
            if (beforeAccept)
                beforeAccept();
            Accept(fd, target);
        });
    }

private slots:
    void openingInAWorkerKeepsTheOldDocumentUntilTheNewOneIsIn_data()
    {
        quorra_test::AddRows<bool>({ "cancel" }, { { "read to the end", false }, { "cancelled", true } });
    }

    void openingInAWorkerKeepsTheOldDocumentUntilTheNewOneIsIn()
    {
        QFETCH(bool, cancel);
        const auto w = NewWindow();
        w->OpenFile(kFirst); // small: read at once
        QCOMPARE(w->LoadedFileName(), kFirst);
        QVERIFY(!w->Loading());
        const QString shown = w->FileName();

        w->SetBackgroundWorkBytes(0);
        QSignalSpy filled(w.get(), &TfrmMain::PagesFilled);
        w->OpenFile(kSecond);
        // The call returned before the file was read; the old document is still the one shown.
        QVERIFY(w->Loading());
        QCOMPARE(w->LoadedFileName(), kFirst);
        QCOMPARE(w->FileName(), shown);
        auto* loader = w->findChild<TDocumentLoader*>();
        QVERIFY(loader);
        QSignalSpy discarded(loader, &TDocumentLoader::Discarded);
        QSignalSpy progressGone(w->findChild<TWorkProgress*>(), &QObject::destroyed);
        QPushButton* cancelButton = CancelButton(*w);
        QVERIFY(cancelButton);
        QCOMPARE(cancelButton->text(), "Cancel");
        if (cancel) {
            cancelButton->click();
            QVERIFY(!w->Loading());
            // The read goes on in its worker; when it ends, its document is dropped and nothing changes.
            QVERIFY(discarded.wait(60000));
            QCOMPARE(filled.size(), 0);
            QCOMPARE(w->LoadedFileName(), kFirst);
            QCOMPARE(w->FileName(), shown);
            QVERIFY(w->Message());
        } else {
            QVERIFY(filled.wait(60000));
            QCOMPARE(discarded.size(), 0);
            QCOMPARE(w->LoadedFileName(), kSecond);
            QCOMPARE(w->FileName(), kSecond);
            QVERIFY(!w->Loading());
        }
        // The progress dialog goes either way.
        QVERIFY(progressGone.size() == 1 || progressGone.wait(60000));
    }

    void aNewerOpenReplacesARunningRead()
    {
        const auto w = NewWindow();
        w->SetBackgroundWorkBytes(0);
        QSignalSpy filled(w.get(), &TfrmMain::PagesFilled);
        w->OpenFile(kFirst);
        w->OpenFile(kSecond);
        QVERIFY(filled.wait(60000));
        QCOMPARE(w->LoadedFileName(), kSecond);
        QCOMPARE(filled.size(), 1);
    }

    void savingInAWorkerWritesWhatASaveAtOnceWrites()
    {
        const auto w = NewWindow();
        QVERIFY(OpenInWorker(*w, kSecond));

        const QString target = home_->Path("home/out.htm");
        QCOMPARE(SaveAsTo(*w, target), QStringList { "FileDialog: Save As" });
        // The save's report comes once the worker is done, never from within the command.
        TModalHandler boxes;
        auto* saver = w->findChild<TDocumentSaver*>();
        QVERIFY(saver);
        QSignalSpy gone(saver, &QObject::destroyed);
        QVERIFY(gone.wait(60000));
        QCOMPARE(boxes.Seen(), QStringList { target + " file created successfully." });

        const QString direct = home_->Path("home/direct.htm");
        quorra::SaveInFormat(*w->Message(), direct.toStdString(), ".HTM", true, kSecond.toStdString(), nullptr);
        QVERIFY(!Contents(target).isEmpty());
        QCOMPARE(Contents(target), Contents(direct));
    }

    void cancelledSaveLeavesTheOldFileAndNoTemporaryFile()
    {
        const auto w = NewWindow();
        QVERIFY(OpenInWorker(*w, kSecond));
        const QString target = home_->Path("home/out.htm");
        {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old content");
        }

        // The worker of the save waits behind a task that holds the only thread of the window's workers, so that
        // Cancel is pressed before the save has written anything, whatever the machine's speed.
        std::optional<quorra_test::THeldWorkers> held;
        const auto holdThePool = [&] { held.emplace(); };

        // The file dialog, and its question before it replaces the file (answered yes).
        QCOMPARE(SaveAsTo(*w, target, holdThePool).size(), 2);
        TModalHandler boxes;
        auto* saver = w->findChild<TDocumentSaver*>();
        QVERIFY(saver);
        QSignalSpy ended(saver, &TDocumentSaver::WorkerEnded);
        QSignalSpy gone(saver, &QObject::destroyed);
        QPushButton* cancelButton = CancelButton(*w);
        QVERIFY(cancelButton);
        cancelButton->click();
        held->Release();
        QVERIFY(gone.wait(60000));
        QCOMPARE(ended.size(), 1);
        // No message, the old file as it was, and no temporary file beside it.
        QCOMPARE(boxes.Seen(), QStringList());
        QCOMPARE(Contents(target), QByteArray("old content"));
        QCOMPARE(
            QDir(home_->Path("home")).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList { "out.htm" });
    }
};

QTEST_MAIN(TestBackgroundWork)
#include "tst_background_work.moc"
