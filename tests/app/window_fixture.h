#pragma once

// The set-up the main-window tests share: every test function runs in a fresh isolated home (made before it and
// removed after it) and starts its windows there; their beeps are counted. Dialogs are answered with
// TModalHandler (window_test_support.h).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QFileDialog>
#include <QObject>
#include <QSemaphore>
#include <QStringList>

#include "main_window.h"
#include "window_test_support.h"

namespace quorra_test {

class TWindowTest : public QObject {
    Q_OBJECT

protected:
    // samples/winmail.dat of the source tree.
    static QString SamplePath();

    // The main window started in the home with the arguments.
    std::unique_ptr<quorra::TfrmMain> NewWindow(std::vector<std::string> arguments = {});
    // The main window started with the file (and no settings file), its error report answered; warns when the
    // file did not load.
    std::unique_ptr<quorra::TfrmMain> Opened(const QString& file);
    // The main window started with the file, shown and active.
    std::unique_ptr<quorra::TfrmMain> Shown(const QString& file);
    // Opens the file as a large file is opened, read in a worker, and waits for its pages; false when they are
    // not filled within a minute.
    static bool OpenInWorker(quorra::TfrmMain& window, const QString& file);
    // Runs Save As, handing the file dialog to `use` (which closes it); the box asking before a file is replaced
    // is answered yes, other dialogs are recorded and closed. Returns what was seen.
    static QStringList SaveAs(quorra::TfrmMain& window, const std::function<void(QFileDialog*)>& use);
    // Writes the bytes as a file of the name in the home folder; returns its path (empty when it cannot be written).
    QString Write(const QString& name, const std::string& bytes) const;
    // Types the name into the file dialog and accepts it.
    static void Accept(QFileDialog* dialog, const QString& name);

    // Made before each test function and removed after it; a test class with more to set up calls these from
    // its own init() and cleanup().
    void StartHome();
    void EndHome();

    std::unique_ptr<TIsolatedHome> home_;
    int beeps_ = 0;

private slots:
    void init() { StartHome(); }
    void cleanup() { EndHome(); }
};

// Holds the only thread of the window's workers (DocumentWorkers) from its start until Release (or its end), so that
// work the window starts meanwhile waits, whatever the machine's speed; the pool gets its threads back at the end.
class THeldWorkers {
public:
    THeldWorkers();
    ~THeldWorkers();
    THeldWorkers(const THeldWorkers&) = delete;
    THeldWorkers& operator=(const THeldWorkers&) = delete;
    void Release();

private:
    QSemaphore gate_;
    int threads_;
    bool released_ = false;
};

} // namespace quorra_test
