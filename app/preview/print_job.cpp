#include "print_job.h"

#include <filesystem>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPrinter>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentRun>

#include "worker_pool.h"

namespace quorra {

namespace {

// A new empty file beside the target, with the permissions a new file gets; "" when none can be made there.
QString NewFileBeside(const QString& target)
{
    const QFileInfo info(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name = info.absoluteDir().filePath(
            QStringLiteral(".%1.%2.pdf")
                .arg(info.completeBaseName(), QString::number(QRandomGenerator::global()->generate(), 36)));
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
        if (file.error() != QFileDevice::OpenError)
            break;
    }
    return {};
}

} // namespace

QString PrintRendering(QPrinter& printer, const pelmsg::TMSGProperties& message, const TRenderOptions& options,
    const std::atomic<bool>& cancelled, bool& wasCancelled)
{
    wasCancelled = false;
    std::unique_ptr<TRenderDocument> document = RenderMessage(message, options);
    if (cancelled) {
        wasCancelled = true;
        return {};
    }
    // A PDF file is made beside its target and takes its place only when complete.
    const QString target = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    QString partial;
    if (!target.isEmpty()) {
        partial = NewFileBeside(target);
        if (partial.isEmpty())
            return QStringLiteral("%1 cannot be written").arg(QDir::toNativeSeparators(target));
        printer.setOutputFileName(partial);
    }
    document->print(&printer);
    if (!partial.isEmpty())
        printer.setOutputFileName(target);
    QString error;
    if (cancelled)
        wasCancelled = true;
    else if (printer.printerState() == QPrinter::Error)
        error = QStringLiteral("The printer reported an error");
    if (partial.isEmpty())
        return error;
    std::error_code failed;
    if (!wasCancelled && error.isEmpty()) {
        std::filesystem::rename(partial.toStdString(), target.toStdString(), failed);
        if (!failed)
            return {};
        error = QString::fromStdString(failed.message());
    }
    std::filesystem::remove(partial.toStdString(), failed);
    return error;
}

struct TPrintJob::TShared {
    std::unique_ptr<QPrinter> Printer;
    const pelmsg::TMSGProperties* Message = nullptr;
    TRenderOptions Options;
    std::shared_ptr<const void> Keeper;
    std::atomic<bool> Cancelled { false };
};

TPrintJob::TPrintJob(std::unique_ptr<QPrinter> printer, const pelmsg::TMSGProperties& message, TRenderOptions options,
    std::shared_ptr<const void> keeper, QObject* parent)
    : QObject(parent)
    , shared_(std::make_shared<TShared>())
{
    shared_->Printer = std::move(printer);
    shared_->Message = &message;
    shared_->Options = std::move(options);
    shared_->Keeper = std::move(keeper);
}

TPrintJob::~TPrintJob() { shared_->Cancelled = true; }

void TPrintJob::Start()
{
    if (started_)
        return;
    started_ = running_ = true;
    struct TResult {
        QString Error;
        bool Cancelled = false;
    };
    auto* watcher = new QFutureWatcher<TResult>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const TResult result = watcher->result();
        emit WorkerEnded();
        if (!running_)
            return; // cancelled: Finished has come already
        running_ = false;
        emit Finished(result.Error.isEmpty() && !result.Cancelled, result.Cancelled, result.Error);
    });
    watcher->setFuture(QtConcurrent::run(DocumentWorkers(), [shared = shared_] {
        TResult result;
        result.Error
            = PrintRendering(*shared->Printer, *shared->Message, shared->Options, shared->Cancelled, result.Cancelled);
        // The printer (and with it a print job's spool) goes in the worker, the document when nothing holds it.
        shared->Printer.reset();
        shared->Keeper.reset();
        return result;
    }));
}

void TPrintJob::Cancel()
{
    if (!running_)
        return;
    shared_->Cancelled = true;
    running_ = false;
    emit Finished(false, true, QString());
}

} // namespace quorra
