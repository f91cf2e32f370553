// Every TNEF and .msg file of the shared corpus (and the kept damaged inputs) opens in the window: no crash, no
// hang, at most one message box, and the pages are filled.

#include <QDirIterator>
#include <QLineEdit>

#include "window_fixture.h"

using namespace quorra;

class TestCorpusWindow : public quorra_test::TWindowTest {
    Q_OBJECT

private slots:
    void everyFileOpens()
    {
        QStringList files;
        for (const char* folder : { TESSALY_CORPUS_DIR "/tnef", TESSALY_CORPUS_DIR "/msg",
                 TESSALY_SOURCE_DIR "/tests/data/crashers" }) {
            QDirIterator it(QString::fromUtf8(folder), QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
        }
        if (files.size() < 10)
            QSKIP("the shared corpus is not present");
        const auto w = NewWindow({ "/noini" });
        TfrmMain& window = *w;
        window.show();
        int opened = 0;
        for (const QString& file : files) {
            quorra_test::TModalHandler boxes;
            window.OpenFile(file);
            QVERIFY2(boxes.Count() <= 1, qPrintable(file));
            QVERIFY(window.Message());
            if (boxes.Count() == 0)
                ++opened;
            QCoreApplication::processEvents();
        }
        qInfo("%d of %lld files opened without an error", opened, static_cast<long long>(files.size()));
        QVERIFY(opened > files.size() / 2);
    }
};

QTEST_MAIN(TestCorpusWindow)
#include "tst_corpus_window.moc"
