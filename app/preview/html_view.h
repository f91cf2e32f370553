#pragma once

// The preview's HTML view: a web view on a private, off-the-record profile with JavaScript off. Inline images come
// from the message's attachments through a "cid:" URL scheme handler (the page's base URL is "cid:/", so relative
// sources arrive there too); remote addresses (http, https, ftp, ws) load only when allowed, and a bar says when
// something was blocked; every other scheme but data: is refused. A clicked link never opens inside the preview:
// http, https, ftp and mailto links go to the user's programs. When the web engine's renderer cannot live (it
// crashes, is killed for want of memory, or the page cannot load), the view falls back to Qt's own rich-text view
// of the same HTML (no pictures, no remote content, no file the HTML names) and a bar says so.

#include <functional>
#include <memory>

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include "html_prepare.h"
#include "notice_bar.h"

class QTextBrowser;
class QFrame;
class QWebEngineProfile;
class QWebEngineView;

namespace pelmsg {
class TMSGProperties;
}

namespace quorra {

class TCidSchemeHandler;
class TRemoteInterceptor;

// Registers the "cid" URL scheme. Must run before the QApplication is created.
void RegisterCidScheme();

// Bodies larger than this are served through the scheme handler rather than given to the page directly.
inline constexpr qsizetype kMaxInlineHtmlBytes = 1 << 20;

class THtmlView : public QWidget {
    Q_OBJECT

public:
    explicit THtmlView(QWidget* parent = nullptr);
    ~THtmlView() override;

    // Shows an HTML text of the message (whose attachments the images come from; it must outlive the view's use
    // of it or be replaced by Clear). allowRemote: load remote content from the start.
    void SetHtml(const QString& html, const pelmsg::TMSGProperties* message, bool allowRemote);
    // The same with a text prepared already (PrepareHtmlPage, PrepareHtmlBody): the UI thread only hands the page
    // to the engine, which reads a large one from the scheme handler in pieces.
    void SetPreparedHtml(const TPreparedHtml& prepared, const pelmsg::TMSGProperties* message, bool allowRemote);
    // Shows nothing and forgets the message.
    void Clear();
    // Loads what was blocked, for the message shown now.
    void LoadRemoteContent();

    // How many remote requests were blocked since the last SetHtml; how many images the handler served.
    int BlockedCount() const;
    int ServedImageCount() const;
    bool RemoteAllowed() const;
    QWebEngineView* View() const { return view_; }
    // The "Remote content was blocked" bar.
    QFrame* RemoteBar() const { return pnlRemote_; }

    // Opens a link in the user's programs; replaceable for tests. Default: QDesktopServices::openUrl.
    std::function<void(const QUrl&)> OpenExternal;

    // Whether the web view failed and the rich-text view stands in for it (for the rest of the view's life); the
    // stand-in and the bar that says why.
    bool WebViewFailed() const { return fallback_ != nullptr; }
    QTextBrowser* FallbackView() const { return fallback_; }
    QFrame* FailureBar() const { return pnlFailed_; }

signals:
    void LoadFinished(bool ok);
    void RemoteContentBlocked();
    // The web view could not show the message (why, in words); the rich-text view shows it now.
    void FellBack(const QString& reason);
    // The page of the text last given (SetHtml, SetPreparedHtml) has loaded, or failed to; unlike LoadFinished,
    // never for the empty page Clear shows.
    void PageLoaded(bool ok);
    // The rich-text view that stands in for a failed web view shows the text last given (a large one is read in a
    // worker first).
    void FallbackFilled();

private:
    friend class TPreviewPage;
    void ShowBlockedBar();
    void Reload();
    void FallBack(const QString& reason);
    void FillFallback();

    TNoticeBar* pnlRemote_ = nullptr;
    QWebEngineProfile* profile_ = nullptr;
    QWebEngineView* view_ = nullptr;
    TCidSchemeHandler* handler_ = nullptr;
    TRemoteInterceptor* interceptor_ = nullptr;
    TPreparedHtml prepared_;
    QString pageBase_; // the address the page shown now was loaded under
    TNoticeBar* pnlFailed_ = nullptr;
    QTextBrowser* fallback_ = nullptr;
    // Clear's empty page is loading: a page handed over meanwhile waits for it (the engine may drop a page handed
    // over while the previous one is still being started, and never report it).
    bool blanking_ = false;
    bool reloadAfterBlank_ = false;
    quint64 blankRequest_ = 0;
    void BlankEnded();
};

} // namespace quorra
