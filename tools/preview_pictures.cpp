// preview-pictures: pictures of the main window's Preview page for the screenshot script (under Xvfb, 1024x768).
// Usage: preview-pictures OUTPUT-FOLDER [/LANG=file.lng] NAME=SOURCE[@TAB] ...
// SOURCE is a message file, or "remote" (an HTML mail with a remote picture, showing the remote-content bar),
// "importance" (a mail sent with high importance), "sendmail", "homepage" or "help" (Help > Send E-mail, Product
// Homepage or Contents, for the failure message or the manual's own window when no mail program or browser is
// installed); TAB is html, rtf, plain, print (the print preview of the
// page), attached (the window of the first attached message) or empty for the tab the preview chooses.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QListWidget>
#include <QPrintPreviewDialog>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "html_view.h"
#include "main_window.h"
#include "message_preview.h"
#include "pelmsg.h"
#include "viewer_app.h"

using namespace quorra;

namespace {

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A message made in memory from a few properties.
std::unique_ptr<pelmsg::TPelMessage> Synthetic(const std::string& kind)
{
    auto message = std::make_unique<pelmsg::TPelTNEFFile>();
    pelmsg::TMSGProperties& p = message->Properties();
    auto add = [&](uint32_t tag, pelmsg::TValue value) {
        pelmsg::TMSGProperty* node = p.Add();
        node->TagID = tag;
        node->Value = std::move(value);
    };
    add(pelmsg::MakeTag(pelmsg::kIdSentRepresentingName, pelmsg::PT_UNICODE), pelmsg::WideString(u"Newsletter <news@shop.example>"));
    add(pelmsg::MakeTag(pelmsg::kIdDisplayTo, pelmsg::PT_UNICODE), pelmsg::WideString(u"Ann Smith"));
    if (kind == "remote") {
        add(pelmsg::MakeTag(pelmsg::kIdSubject, pelmsg::PT_UNICODE), pelmsg::WideString(u"Our autumn offers"));
        add(pelmsg::MakeTag(pelmsg::kIdBodyHtml, pelmsg::PT_BINARY),
            pelmsg::ByteString("<html><body><h2>Autumn offers</h2><p>Dear customer, see our new catalogue:</p>"
                               "<img src=\"http://tracker.example/open.gif?id=4711\" width=300 height=120 "
                               "alt=\"[catalogue picture]\"><p>Kind regards</p></body></html>"));
        p.BodyKind = pelmsg::TBodyKind::Html;
    } else {
        add(pelmsg::MakeTag(pelmsg::kIdSubject, pelmsg::PT_UNICODE), pelmsg::WideString(u"Server room closed today"));
        add(pelmsg::MakeTag(pelmsg::kIdBody, pelmsg::PT_UNICODE),
            pelmsg::WideString(u"Hello all,\r\n\r\nthe server room is closed today for maintenance.\r\n\r\nFacilities"));
        add(pelmsg::kTagImportance, int32_t(2));
        p.BodyKind = pelmsg::TBodyKind::PlainText;
    }
    return message;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: preview-pictures OUTPUT-FOLDER [/LANG=file.lng] NAME=SOURCE[@TAB] ...\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    std::vector<std::string> arguments = { "/NOINI", "/LEFT=0", "/TOP=0", "/WIDTH=1024", "/HEIGHT=768" };
    std::vector<std::string> items;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("/LANG=", 0) == 0)
            arguments.push_back(a);
        else
            items.push_back(a);
    }
    int status = 0;
    int qtArgc = 1;
    std::unique_ptr<pelmsg::TPelMessage> synthetic;
    int result = RunViewer(qtArgc, argv, arguments, [&](TfrmMain& window) {
        QTimer::singleShot(800, &window, [&] {
            window.PageControl()->setCurrentWidget(window.PreviewPage());
            for (const std::string& item : items) {
                const size_t eq = item.find('=');
                const size_t at = item.find('@', eq);
                const QString name = QString::fromStdString(item.substr(0, eq));
                const std::string source = item.substr(eq + 1, at == std::string::npos ? std::string::npos : at - eq - 1);
                const std::string tab = at == std::string::npos ? "" : item.substr(at + 1);
                TfrmMessage* form = window.Preview();
                if (source == "sendmail" || source == "homepage" || source == "help") {
                    // What the user sees when the desktop has no program for a mail address (or the manual): the
                    // message box, or the manual in the program's own window, once the opener has given up.
                    const QString path = QDir(folder).filePath(name + ".png");
                    // xdg-open looks through every desktop file before it gives up on a local file: that takes longer.
                    const int delay = source == "help" ? 9000 : 4000;
                    QTimer::singleShot(delay, [&, path] {
                        if (!window.screen()->grabWindow(0).save(path, "PNG"))
                            status = 1;
                        if (QWidget* modal = QApplication::activeModalWidget())
                            modal->close();
                        if (auto* manual = window.findChild<QWidget*>("ManualViewer"))
                            manual->close();
                    });
                    const TMainActions& actions = window.Actions();
                    (source == "help"              ? actions.miHelpContents
                            : source == "homepage" ? actions.miHelpHomepage
                                                   : actions.miHelpSendEMail)
                        ->trigger();
                    Wait(delay + 1000);
                    std::printf("%s\n", qPrintable(path));
                    continue;
                }
                if (source == "remote" || source == "importance") {
                    synthetic = Synthetic(source);
                    form->FillPreview(&synthetic->Properties());
                } else {
                    window.OpenFile(QString::fromStdString(source));
                }
                window.PageControl()->setCurrentWidget(window.PreviewPage());
                if (form->HtmlView()) {
                    QSignalSpy loaded(form->HtmlView(), &THtmlView::LoadFinished);
                    loaded.wait(5000);
                }
                auto* tabs = form->findChild<QTabWidget*>("pcBody");
                const char* page = tab == "html" ? "tsHTMLBody" : tab == "rtf" ? "tsRTFBody" : tab == "plain" ? "tsPlainText" : nullptr;
                if (page) {
                    QWidget* w = form->findChild<QWidget*>(page);
                    if (tabs->isTabVisible(tabs->indexOf(w)))
                        tabs->setCurrentWidget(w);
                    else
                        std::fprintf(stderr, "%s: no %s tab\n", source.c_str(), page);
                }
                Wait(1200);
                const QString path = QDir(folder).filePath(name + ".png");
                if (tab == "print") {
                    QTimer::singleShot(1500, [&, path] {
                        auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
                        if (!dialog)
                            return;
                        if (!dialog->screen()->grabWindow(0).save(path, "PNG"))
                            status = 1;
                        dialog->reject();
                    });
                    form->PrintPreview();
                } else if (tab == "attached") {
                    // The window of the first attached message (opened as by a double-click on its row), once its
                    // bodies have been read and painted.
                    QListWidget* list = form->findChild<QListWidget*>("lvAttachments");
                    const pelmsg::TMSGProperties* message = form->Properties();
                    for (int row = 0; message && row < list->count(); ++row)
                        if (message->Attachments(row) && message->Attachments(row)->IsEmbeddedMessage()) {
                            list->setCurrentRow(row);
                            break;
                        }
                    auto poll = std::make_unique<QTimer>();
                    QObject::connect(poll.get(), &QTimer::timeout, [&, timer = poll.get(), path] {
                        QWidget* dialog = QApplication::activeModalWidget();
                        auto* attached = dialog ? dialog->findChild<TfrmMessage*>() : nullptr;
                        if (!attached || attached->findChild<QObject*>("rtfReadInWorker") || attached->HtmlPending())
                            return;
                        timer->stop();
                        Wait(1500);
                        if (!dialog->screen()->grabWindow(0).save(path, "PNG"))
                            status = 1;
                        dialog->close();
                    });
                    poll->start(200);
                    if (list->currentRow() >= 0)
                        form->lvAttachmentsDblClick();
                    else
                        std::fprintf(stderr, "%s: no attached message\n", source.c_str());
                } else if (!window.screen()->grabWindow(0).save(path, "PNG")) {
                    // The whole X screen: the web view draws outside what QWidget::grab sees.
                    status = 1;
                }
                std::printf("%s\n", qPrintable(path));
            }
            window.close();
        });
    });
    return result != 0 ? result : status;
}
