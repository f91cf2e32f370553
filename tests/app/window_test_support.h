#pragma once

// Helpers of the window tests: an isolated home per test, and a handler that answers the modal dialogs a
// command opens (message boxes, file dialogs, the options dialog).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "main_window.h"

namespace quorra_test {

// A fresh HOME, XDG folders, TMPDIR and program folder; removed when it goes.
class TIsolatedHome {
public:
    TIsolatedHome()
    {
        QStandardPaths::setTestModeEnabled(true);
        const QString root = dir_.path();
        for (const char* sub : { "home", "config", "etc", "data", "tmp", "program", "cwd" })
            QDir(root).mkpath(QLatin1String(sub));
        qputenv("HOME", (root + "/home").toUtf8());
        qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
        qputenv("XDG_CONFIG_DIRS", (root + "/etc").toUtf8());
        qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
        qputenv("TMPDIR", (root + "/tmp").toUtf8());
    }
    QString Path(const QString& sub) const { return dir_.path() + "/" + sub; }
    std::string ProgramFolder() const { return Path("program").toStdString(); }
    std::string CurrentFolder() const { return Path("cwd").toStdString(); }
    QString SettingsFile() const { return Path("config/Corvane/quorra/quorra.ini"); }
    QString SettingsText() const
    {
        QFile f(SettingsFile());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // The main window started in this home with the arguments (no installed languages; beep replaced).
    std::unique_ptr<quorra::TfrmMain> NewWindow(
        std::vector<std::string> arguments = {}, std::function<void()> beep = [] {}) const
    {
        quorra::TfrmMain::TStartup startup;
        startup.Arguments = std::move(arguments);
        startup.ProgramFolder = ProgramFolder();
        startup.CurrentFolder = CurrentFolder();
        startup.InstalledLanguageFolder = Path("no-such-folder").toStdString();
        auto window = std::make_unique<quorra::TfrmMain>(startup);
        window->Beep = std::move(beep);
        return window;
    }
    // Copies a file into the home under a new name; returns its path.
    QString Copy(const QString& from, const QString& name) const
    {
        QString to = Path("home/" + name);
        QFile::remove(to);
        if (!QFile::copy(from, to))
            qWarning("cannot copy %s", qPrintable(from));
        return to;
    }

private:
    QTemporaryDir dir_;
};

// Runs every event and zero-time timer queued so far (and those they queue in turn, up to a deadline): after it,
// whatever the code under test had scheduled has happened.
inline void ProcessPendingEvents()
{
    bool reached = false;
    QTimer::singleShot(0, [&reached] { reached = true; });
    (void)QTest::qWaitFor([&reached] { return reached; }, 5000);
}

// Answers each modal dialog that appears while it lives with the handler (which must close it), and records
// what it saw: the text of message boxes, the title of other dialogs. Given the number of dialogs expected, it
// fails the test when fewer appeared by the time it ends.
class TModalHandler {
public:
    using THandler = std::function<void(QDialog*)>;

    explicit TModalHandler(THandler handler = {}, int expected = 0)
        : handler_(std::move(handler))
        , expected_(expected)
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    explicit TModalHandler(int expected)
        : TModalHandler({}, expected)
    {
    }
    ~TModalHandler()
    {
        if (Count() < expected_ && !QTest::currentTestFailed())
            QTest::qFail(qPrintable(QStringLiteral("%1 dialog(s) expected, %2 appeared").arg(expected_).arg(Count())),
                __FILE__, __LINE__);
    }
    TModalHandler(const TModalHandler&) = delete;
    TModalHandler& operator=(const TModalHandler&) = delete;

    // Closes message boxes with their default button and cancels everything else.
    static void CloseAll(QDialog* dialog)
    {
        if (auto* box = qobject_cast<QMessageBox*>(dialog))
            box->done(QMessageBox::Ok);
        else
            dialog->reject();
    }

    const QStringList& Seen() const { return seen_; }
    int Count() const { return int(seen_.size()); }

private:
    void Poll()
    {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        // A dialog is handled once while it is open: it is the active one again when a box it opened (Qt's file
        // dialog asking before it replaces a file) has closed.
        if (!dialog || open_.contains(dialog))
            return;
        open_ << dialog;
        QObject::connect(dialog, &QDialog::finished, &timer_, [this, dialog] { open_.removeAll(dialog); });
        QObject::connect(dialog, &QObject::destroyed, &timer_, [this, dialog] { open_.removeAll(dialog); });
        if (auto* box = qobject_cast<QMessageBox*>(dialog))
            seen_ << box->text();
        else
            seen_ << dialog->objectName() + ": " + dialog->windowTitle();
        // Answered from a fresh call, so that a dialog the answer opens in turn (a box asking back) is seen by
        // the next poll.
        QPointer<QDialog> target = dialog;
        QTimer::singleShot(0, [this, target] {
            if (!target)
                return;
            if (handler_)
                handler_(target);
            else
                CloseAll(target);
        });
    }

    THandler handler_;
    int expected_ = 0;
    QTimer timer_;
    QList<QDialog*> open_;
    QStringList seen_;
};

} // namespace quorra_test
