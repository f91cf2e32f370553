#include "html_view.h"

#include <QApplication>
#include <QBuffer>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include "desktop_services.h"
#include "html_text_later.h"
#include "pelmsg.h"
#include "preview_support.h"
#include "program_texts.h"
#include "qt_glue.h"
#include "web_engine_start.h"

namespace quorra {

namespace {

const QByteArray kCidScheme = QByteArrayLiteral("cid");

bool IsRemoteScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp")
        || scheme == QLatin1String("ws") || scheme == QLatin1String("wss");
}

// Schemes a clicked link may hand to the user's programs.
bool IsExternalLinkScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp")
        || scheme == QLatin1String("mailto");
}

// What the page itself may load: its own text and the message's images.
bool IsOwnScheme(const QString& scheme)
{
    return scheme == QLatin1String("cid") || scheme == QLatin1String("data") || scheme == QLatin1String("about");
}

} // namespace

void RegisterCidScheme()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    QWebEngineUrlScheme scheme(kCidScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

// Serves "cid:" requests: the body when it is too large to hand over directly, and the attachments that image
// sources name (by content id, else by file name).
class TCidSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    const pelmsg::TMSGProperties* Message = nullptr;
    QString Token;
    QString BodyName;
    QByteArray Body;
    int Served = 0;

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        QString path = job->requestUrl().path(QUrl::FullyDecoded);
        // Every load has a folder of its own, so that a picture is never taken from an earlier message's cache.
        const QString folder = QLatin1Char('/') + Token + QLatin1Char('/');
        if (!path.startsWith(folder)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        path.remove(0, folder.size());
        if (!BodyName.isEmpty() && path == BodyName) {
            auto* buffer = new QBuffer(job);
            buffer->setData(Body);
            job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
            return;
        }
        const int index = Message ? FindEmbeddedImage(*Message, path.toStdU16String(), true) : -1;
        if (index < 0) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        QByteArray data;
        try {
            pelmsg::TMemoryStream stream;
            pelmsg::WriteAttachmentData(*Message, index, stream);
            data = QByteArray::fromStdString(stream.Bytes());
        } catch (const std::exception&) {
            job->fail(QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        QMimeDatabase mimes;
        QByteArray type = mimes.mimeTypeForData(data).name().toLatin1();
        // Only pictures: an attachment named by an image source is never shown as a document of its own.
        if (!type.startsWith("image/")) {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(data);
        ++Served;
        job->reply(type, buffer);
    }
};

// Lets the page load its own text and images; remote addresses only when allowed; nothing else.
class TRemoteInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    explicit TRemoteInterceptor(THtmlView* view)
        : QWebEngineUrlRequestInterceptor(view)
        , view_(view)
    {
    }

    bool Allowed = false;
    int Blocked = 0;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QString scheme = info.requestUrl().scheme().toLower();
        if (IsOwnScheme(scheme) || scheme == QLatin1String("blob"))
            return;
        if (IsRemoteScheme(scheme) && Allowed)
            return;
        info.block(true);
        if (IsRemoteScheme(scheme)) {
            ++Blocked;
            QMetaObject::invokeMethod(view_, "RemoteContentBlocked", Qt::QueuedConnection);
        }
    }

private:
    THtmlView* view_;
};

// The stand-in for a web view that cannot live: Qt's own rich-text view, which runs no script. It loads nothing:
// no picture, no style sheet, and no file the HTML names (a relative source would otherwise be read from disk).
class TFallbackBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

// Navigation stays inside the message: clicked links go to the user's programs, everything else that would
// leave the page's own text is refused.
class TPreviewPage : public QWebEnginePage {
public:
    TPreviewPage(QWebEngineProfile* profile, THtmlView* owner)
        : QWebEnginePage(profile, owner)
        , owner_(owner)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        const QString scheme = url.scheme().toLower();
        if (type == NavigationTypeLinkClicked) {
            // A link to a place in the same text scrolls there.
            if (IsOwnScheme(scheme) && url.hasFragment())
                return true;
            if (IsExternalLinkScheme(scheme) && owner_->OpenExternal)
                owner_->OpenExternal(url);
            return false;
        }
        Q_UNUSED(isMainFrame);
        return IsOwnScheme(scheme);
    }

    // A link that asks for a new window ("target=_blank") opens in the user's programs too.
    QWebEnginePage* createWindow(WebWindowType) override
    {
        auto* page = new TNewWindowCatcher(profile(), owner_);
        return page;
    }

private:
    class TNewWindowCatcher : public QWebEnginePage {
    public:
        TNewWindowCatcher(QWebEngineProfile* profile, THtmlView* owner)
            : QWebEnginePage(profile, owner)
            , owner_(owner)
        {
        }

    protected:
        bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
        {
            if (IsExternalLinkScheme(url.scheme().toLower()) && owner_->OpenExternal)
                owner_->OpenExternal(url);
            deleteLater();
            return false;
        }

    private:
        THtmlView* owner_;
    };

    THtmlView* owner_;
};

THtmlView::THtmlView(QWidget* parent)
    : QWidget(parent)
{
    // Started already by a preview that shows a view, in a turn of its own (web_engine_start.h).
    StartWebEngine();
    setObjectName(QStringLiteral("wbHTMLBody"));
    // A link the desktop has no program for is said aloud, with what the user can do.
    OpenExternal = [this](const QUrl& url) {
        OpenDocument(url, this, [this, url](const QString& reason) {
            QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                strNoProgramForAddress.Arg(url.toDisplayString()) + QStringLiteral("\n\n") + reason, QMessageBox::Ok,
                this);
            box.setObjectName(QStringLiteral("ErrorBox"));
            box.exec();
        });
    };

    QVBoxLayout* layout = NewFlatColumn(this, 0);

    pnlRemote_ = new TNoticeBar(this, TNoticeBar::TLook::ToolTip, "pnlRemoteContent", "lblRemoteContent", false);
    pnlRemote_->Label()->setText(strRemoteContentBlocked());
    pnlRemote_->AddButton("btnLoadRemoteContent", strLoadRemoteContent());
    layout->addWidget(pnlRemote_);

    // No storage name: the profile is off the record (nothing is written to disk).
    profile_ = new QWebEngineProfile(this);
    // No cache: two messages may name different pictures with the same content id ("cid:image001.png").
    profile_->setHttpCacheType(QWebEngineProfile::NoCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    handler_ = new TCidSchemeHandler(this);
    profile_->installUrlSchemeHandler(kCidScheme, handler_);
    interceptor_ = new TRemoteInterceptor(this);
    profile_->setUrlRequestInterceptor(interceptor_);

    view_ = new QWebEngineView(this);
    view_->setObjectName(QStringLiteral("wbBrowser"));
    // Hidden while a new text loads (Clear), the view keeps its place: the tab shows blank, not jumping.
    QSizePolicy keepPlace = view_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    view_->setSizePolicy(keepPlace);
    auto* page = new TPreviewPage(profile_, this);
    QWebEngineSettings* s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    s->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
    view_->setPage(page);
    view_->setAcceptDrops(false);
    layout->addWidget(view_, 1);

    connect(pnlRemote_->Button(), &QPushButton::clicked, this, &THtmlView::LoadRemoteContent);
    connect(this, &THtmlView::RemoteContentBlocked, this, &THtmlView::ShowBlockedBar);
    connect(view_, &QWebEngineView::loadFinished, this, &THtmlView::LoadFinished);

    // A renderer that cannot live (crashed, killed under a memory limit) or a page of ours that cannot load leaves
    // the web view blank: the rich-text view takes its place.
    pnlFailed_ = new TNoticeBar(this, TNoticeBar::TLook::ToolTip, "pnlHtmlViewFailed", "lblHtmlViewFailed", true);
    layout->insertWidget(0, pnlFailed_);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
            switch (status) {
            case QWebEnginePage::NormalTerminationStatus:
                return;
            case QWebEnginePage::CrashedTerminationStatus:
                FallBack(strRendererCrashed());
                return;
            case QWebEnginePage::KilledTerminationStatus:
                FallBack(strRendererKilled());
                return;
            default:
                FallBack(strRendererFailed());
            }
        });
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        // The end of Clear's empty page (reported under its base address or its data: address) lets the page that
        // waited for it load; one broken off by a later Clear is not its end.
        if (blanking_ && info.errorCode() != -3 /* aborted */
            && (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus
                || info.status() == QWebEngineLoadingInfo::LoadFailedStatus)
            && (info.url() == QUrl(QStringLiteral("cid:/"))
                || (info.url().scheme() == QLatin1String("data")
                    && info.url().toString().endsWith(QLatin1Char(','))))) {
            BlankEnded();
            return;
        }
        // The load of the page shown now: under its base address, or (a page handed over directly) under its data:
        // address, which the engine reports now and then instead; never the empty page Clear shows (whose data:
        // address ends at the comma), nor a load broken off by the next one.
        const QString url = info.url().toString();
        const bool ours = !pageBase_.isEmpty()
            && (url.startsWith(pageBase_)
                || (handler_->BodyName.isEmpty() && info.url().scheme() == QLatin1String("data")
                    && !url.endsWith(QLatin1Char(',')) && info.errorCode() != -3 /* aborted */));
        // Only a failed load of the page itself counts (not a refused or cancelled navigation).
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && !prepared_.Html.isEmpty() && ours
            && info.errorCode() != -3 /* aborted */)
            FallBack(strPageNotLoaded());
        if ((info.status() == QWebEngineLoadingInfo::LoadSucceededStatus
                || info.status() == QWebEngineLoadingInfo::LoadFailedStatus)
            && ours) {
            if (!fallback_)
                view_->show();
            emit PageLoaded(info.status() == QWebEngineLoadingInfo::LoadSucceededStatus);
        }
    });
}

void THtmlView::FallBack(const QString& reason)
{
    // The first failure says why; what follows from it (the load the ended renderer broke off) adds nothing.
    if (fallback_)
        return;
    fallback_ = new TFallbackBrowser(this);
    fallback_->setObjectName(QStringLiteral("txtHtmlFallback"));
    fallback_->setOpenLinks(false);
    connect(fallback_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (IsExternalLinkScheme(url.scheme().toLower()) && OpenExternal)
            OpenExternal(url);
    });
    static_cast<QVBoxLayout*>(layout())->addWidget(fallback_, 1);
    fallback_->show(); // at once, not when the layout gets round to it
    view_->hide();
    pnlRemote_->hide();
    FillFallback();
    pnlFailed_->Label()->setText(strHtmlViewFailed.Arg(reason));
    pnlFailed_->show();
    emit FellBack(reason);
}

void THtmlView::FillFallback()
{
    // A large text is read in a worker (html_text_later.h): the window answers meanwhile.
    ShowHtmlInTextView(prepared_.Html, *fallback_, [this] { emit FallbackFilled(); });
}

THtmlView::~THtmlView()
{
    // The pages (this view's own and any caught new window) must go before their profile.
    delete view_;
    view_ = nullptr;
    qDeleteAll(findChildren<QWebEnginePage*>(Qt::FindDirectChildrenOnly));
}

void THtmlView::SetHtml(const QString& html, const pelmsg::TMSGProperties* message, bool allowRemote)
{
    SetPreparedHtml(PrepareHtmlPage(html), message, allowRemote);
}

void THtmlView::SetPreparedHtml(const TPreparedHtml& prepared, const pelmsg::TMSGProperties* message, bool allowRemote)
{
    handler_->Message = message;
    handler_->Served = 0;
    interceptor_->Allowed = allowRemote;
    interceptor_->Blocked = 0;
    pnlRemote_->hide();
    prepared_ = prepared;
    if (fallback_) {
        // The renderer failed once: it would fail again on this machine; the stand-in shows the new text.
        FillFallback();
        return;
    }
    Reload();
}

void THtmlView::Reload()
{
    if (blanking_) {
        reloadAfterBlank_ = true;
        return;
    }
    // The page's addresses live under "cid:/TOKEN/" (TPreparedHtml): loaded again (remote content allowed), the
    // page keeps its folder, and its pictures are the same.
    handler_->Token = prepared_.Token;
    const QString base = QStringLiteral("cid:/%1/").arg(handler_->Token);
    pageBase_ = base;
    if (prepared_.Page.size() > kMaxInlineHtmlBytes) {
        // A page this large cannot be handed over directly; the handler serves it under a name no content id has.
        handler_->BodyName = QStringLiteral(".body-%1.html").arg(QRandomGenerator::global()->generate64(), 0, 16);
        handler_->Body = prepared_.Page;
        view_->load(QUrl(base + handler_->BodyName));
    } else {
        handler_->BodyName.clear();
        handler_->Body.clear();
        view_->setContent(prepared_.Page, QStringLiteral("text/html;charset=UTF-8"), QUrl(base));
    }
}

void THtmlView::Clear()
{
    handler_->Message = nullptr;
    handler_->Body.clear();
    handler_->BodyName.clear();
    prepared_ = TPreparedHtml();
    pnlRemote_->hide();
    pageBase_.clear();
    if (fallback_) {
        CancelHtmlInTextView(*fallback_);
        fallback_->clear();
        return;
    }
    // The engine keeps showing the last page until the next one is in, which may take a while for a large body
    // prepared in a worker; the view is hidden meanwhile, so no earlier message's body stands under this header.
    view_->hide();
    blanking_ = true;
    reloadAfterBlank_ = false;
    view_->setHtml(QString(), QUrl(QStringLiteral("cid:/")));
    // Should the engine never report the empty page's end, the next page does not wait for ever.
    const quint64 request = ++blankRequest_;
    QTimer::singleShot(2000, this, [this, request] {
        if (blanking_ && request == blankRequest_)
            BlankEnded();
    });
}

void THtmlView::BlankEnded()
{
    blanking_ = false;
    if (reloadAfterBlank_) {
        reloadAfterBlank_ = false;
        Reload();
    }
}

void THtmlView::LoadRemoteContent()
{
    interceptor_->Allowed = true;
    interceptor_->Blocked = 0;
    pnlRemote_->hide();
    Reload();
}

void THtmlView::ShowBlockedBar()
{
    if (interceptor_->Allowed || interceptor_->Blocked == 0)
        return;
    pnlRemote_->Label()->setText(strRemoteContentBlocked());
    pnlRemote_->Button()->setText(strLoadRemoteContent());
    pnlRemote_->show();
}

int THtmlView::BlockedCount() const { return interceptor_->Blocked; }
int THtmlView::ServedImageCount() const { return handler_->Served; }
bool THtmlView::RemoteAllowed() const { return interceptor_->Allowed; }

} // namespace quorra
