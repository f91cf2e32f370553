#include "window_fixture.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>

#include "worker_pool.h"

namespace quorra_test {

QString TWindowTest::SamplePath() { return QStringLiteral(TESSALY_SOURCE_DIR "/samples/winmail.dat"); }

std::unique_ptr<quorra::TfrmMain> TWindowTest::NewWindow(std::vector<std::string> arguments)
{
    return home_->NewWindow(std::move(arguments), [this] { ++beeps_; });
}

std::unique_ptr<quorra::TfrmMain> TWindowTest::Opened(const QString& file)
{
    TModalHandler boxes; // a load's error report
    auto window = NewWindow({ file.toStdString(), "/NOINI" });
    if (!window->Message())
        qWarning("not loaded: %s", qPrintable(file));
    return window;
}

std::unique_ptr<quorra::TfrmMain> TWindowTest::Shown(const QString& file)
{
    auto window = NewWindow({ file.toStdString() });
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("the window did not become active");
    return window;
}

bool TWindowTest::OpenInWorker(quorra::TfrmMain& window, const QString& file)
{
    window.SetBackgroundWorkBytes(0);
    QSignalSpy filled(&window, &quorra::TfrmMain::PagesFilled);
    window.OpenFile(file);
    return filled.wait(60000);
}

QStringList TWindowTest::SaveAs(quorra::TfrmMain& window, const std::function<void(QFileDialog*)>& use)
{
    TModalHandler dialogs([&](QDialog* d) {
        auto* fd = qobject_cast<QFileDialog*>(d);
        auto* box = qobject_cast<QMessageBox*>(d);
        // The file dialog asking before it replaces a file is answered yes.
        if (box && box->button(QMessageBox::Yes))
            return box->button(QMessageBox::Yes)->click();
        if (!fd)
            return TModalHandler::CloseAll(d);
        use(fd);
        if (fd->isVisible())
            fd->reject();
    });
    window.Actions().miFileSaveAs->trigger();
    return dialogs.Seen();
}

QString TWindowTest::Write(const QString& name, const std::string& bytes) const
{
    QString path = home_->Path("home/" + name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    file.write(bytes.data(), qint64(bytes.size()));
    return path;
}

void TWindowTest::Accept(QFileDialog* dialog, const QString& name)
{
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
    QMetaObject::invokeMethod(dialog, "accept");
}

void TWindowTest::StartHome()
{
    home_ = std::make_unique<TIsolatedHome>();
    beeps_ = 0;
}

void TWindowTest::EndHome() { home_.reset(); }

THeldWorkers::THeldWorkers()
    : threads_(quorra::DocumentWorkers()->maxThreadCount())
{
    quorra::DocumentWorkers()->setMaxThreadCount(1);
    quorra::DocumentWorkers()->start([this] { gate_.acquire(); });
}

THeldWorkers::~THeldWorkers()
{
    Release();
    quorra::DocumentWorkers()->waitForDone();
    quorra::DocumentWorkers()->setMaxThreadCount(threads_);
}

void THeldWorkers::Release()
{
    if (!released_)
        gate_.release();
    released_ = true;
}

} // namespace quorra_test
