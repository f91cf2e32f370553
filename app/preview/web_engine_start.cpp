#include "web_engine_start.h"

#include <unistd.h>

#include <QDir>
#include <QList>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QWebEngineProfile>

namespace quorra {

namespace {

bool started = false;

const char kFlagsVariable[] = "QTWEBENGINE_CHROMIUM_FLAGS";

bool HasFlag(const QList<QByteArray>& flags, const QByteArray& flag)
{
    for (const QByteArray& f : flags)
        if (f == flag || f.startsWith(flag + '='))
            return true;
    return false;
}

// Restores an environment variable as it was (set or not) when the guard was made.
class TEnvironmentGuard {
public:
    explicit TEnvironmentGuard(const char* name)
        : name_(name)
        , wasSet_(qEnvironmentVariableIsSet(name))
        , value_(qgetenv(name))
    {
    }
    ~TEnvironmentGuard()
    {
        if (wasSet_)
            qputenv(name_, value_);
        else
            qunsetenv(name_);
    }
    TEnvironmentGuard(const TEnvironmentGuard&) = delete;
    TEnvironmentGuard& operator=(const TEnvironmentGuard&) = delete;

private:
    const char* name_;
    bool wasSet_;
    QByteArray value_;
};

} // namespace

QByteArray WebEngineStartFlags(const QByteArray& userFlags, bool sandboxOff)
{
    const QList<QByteArray> flags = userFlags.simplified().split(' ');
    sandboxOff = sandboxOff || HasFlag(flags, "--no-sandbox");
    QByteArray result = userFlags.simplified();
    auto add = [&](const QByteArray& flag) {
        if (HasFlag(flags, flag))
            return;
        if (!result.isEmpty())
            result += ' ';
        result += flag;
    };
    // A zygote serves the sandbox only; without the sandbox, renderers start directly (off the UI thread).
    if (sandboxOff)
        add("--no-zygote");
    else
        add("--no-unsandboxed-zygote");
    return result;
}

bool UseSoftwareWebRendering(const char* deviceFolder)
{
    for (const char* chosen : { "QT_QUICK_BACKEND", "QSG_RHI_BACKEND", "QMLSCENE_DEVICE" })
        if (qEnvironmentVariableIsSet(chosen))
            return false;
    const QDir devices(QString::fromLocal8Bit(deviceFolder));
    const QDir::Filters any = QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot;
    // A DRM device (render node or card), or NVIDIA's own device files.
    if (!QDir(devices.filePath(QStringLiteral("dri"))).entryList(any).isEmpty())
        return false;
    return devices.entryList({ QStringLiteral("nvidia*") }, any).isEmpty();
}

bool WebEngineStarted() { return started; }

void StartWebEngine()
{
    if (started)
        return;
    started = true;
    // As root the engine's sandbox cannot start (also where the program was started without PrepareWebEngine, as
    // in the window tests).
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (UseSoftwareWebRendering())
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    TEnvironmentGuard keepFlags(kFlagsVariable);
    qputenv(kFlagsVariable,
        WebEngineStartFlags(qgetenv(kFlagsVariable), qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")));
    // The first profile starts the engine, which then runs until the program ends; this one is not needed after.
    delete new QWebEngineProfile();
}

} // namespace quorra
