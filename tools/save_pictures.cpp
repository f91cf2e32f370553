// save-pictures: opens the viewer on a file, as quorra does, and saves pictures of the whole screen with the Save As
// dialog (its filter list open), the Save attachments dialog (and its pop-up), and the question about a file that
// is already in the folder (for the screenshot script, under Xvfb).
// Usage: save-pictures OUTPUT-FOLDER PREFIX [quorra arguments...]

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <functional>

#include "attachment_export.h"
#include "attachments_dialog.h"
#include "main_window.h"
#include "pelmsg.h"
#include "viewer_app.h"

using namespace quorra;

namespace {

// Waits for a modal dialog of the type to come up, then runs the action on it (which must close it).
template <class T> void WhenModal(const std::function<void(T*)>& action)
{
    auto* timer = new QTimer;
    timer->setInterval(50);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        // Let it paint first.
        QTimer::singleShot(400, dialog, [dialog, action] { action(dialog); });
    });
    timer->start();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: save-pictures OUTPUT-FOLDER PREFIX [quorra arguments...]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    std::vector<std::string> arguments(argv + 3, argv + argc);
    int qtArgc = 1;
    int status = 0;
    QTemporaryDir target;
    auto shoot = [&](const QString& name) {
        QApplication::processEvents();
        const QString path = QDir(folder).filePath(prefix + "-" + name + ".png");
        if (!QGuiApplication::primaryScreen()->grabWindow(0).save(path, "PNG"))
            status = 1;
        std::printf("%s\n", qPrintable(path));
    };
    int result = RunViewer(qtArgc, argv, arguments, [&](TfrmMain& window) {
        QTimer::singleShot(800, &window, [&] {
            // Save As with its filter list open.
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                combo->showPopup();
                QTimer::singleShot(400, dialog, [&, dialog, combo] {
                    shoot("save-as");
                    combo->hidePopup();
                    dialog->reject();
                });
            });
            window.Actions().miFileSaveAs->trigger();

            // Save attachments: the dialog, its pop-up, then the question about an existing file.
            const pelmsg::TPelMessage* message = window.Message();
            if (!message || message->Properties().AttachmentCount() == 0) {
                window.close();
                return;
            }
            WhenModal<TfrmAttachments>([&](TfrmAttachments* dialog) {
                shoot("save-attachments");
                auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("lvAttachments"));
                auto* menu = dialog->findChild<QMenu*>(QStringLiteral("pmAttachments"));
                menu->popup(list->viewport()->mapToGlobal(QPoint(60, 30)));
                QTimer::singleShot(400, dialog, [&, dialog, menu] {
                    shoot("save-attachments-popup");
                    menu->hide();
                    dialog->miSelectAllClick(1);
                    dialog->SetChecked(0, true);
                    WhenModal<QFileDialog>([&](QFileDialog* browser) {
                        browser->setDirectory(target.path());
                        browser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(target.path());
                        WhenModal<QMessageBox>([&](QMessageBox* box) {
                            shoot("existing-file");
                            box->findChild<QPushButton*>(QStringLiteral("btnSkip"))->click();
                        });
                        QMetaObject::invokeMethod(browser, "accept");
                    });
                    dialog->findChild<QPushButton*>(QStringLiteral("btnSave"))->click();
                });
            });
            // The first attachment's file is there already.
            const pelmsg::TMSGProperty* first = message->Properties().Attachments(0);
            QFile existing(
                QDir(target.path())
                    .filePath(first ? QString::fromStdString(SafeAttachmentName(*first, 0)) : QStringLiteral("x")));
            if (existing.open(QIODevice::WriteOnly))
                existing.write("already here");
            existing.close();
            window.Actions().miFileSaveAttachments->trigger();
            window.close();
        });
    });
    return result != 0 ? result : status;
}
