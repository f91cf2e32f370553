#pragma once

// Printing off the UI thread. The print dialog runs on the UI thread; then a worker makes the rendering of the
// message (app/render), lays it out for the printer's pages and paints them onto the printer (QPainter on a
// QPrinter and QTextDocument layout may run in any thread). The worker holds the open document until it ends.
// Cancel ends the job at once from the user's view: a print to a PDF file is written to a temporary file beside
// the target and renamed over it only when it is complete, so a cancelled (or failed) print leaves no PDF, and
// the target as it was. A print to a printer that is cancelled before the worker starts to paint sends nothing;
// once the pages go to the printer, the job is finished (Qt cannot withdraw a print job it has begun).

#include <atomic>
#include <memory>

#include <QObject>
#include <QString>

#include "message_render.h"

class QPrinter;

namespace pelmsg {
class TMSGProperties;
}

namespace quorra {

class TPrintJob : public QObject {
    Q_OBJECT

public:
    // The job owns the printer; keeper keeps message alive (it must not be null).
    TPrintJob(std::unique_ptr<QPrinter> printer, const pelmsg::TMSGProperties& message, TRenderOptions options,
        std::shared_ptr<const void> keeper, QObject* parent = nullptr);
    // Cancels a job still running.
    ~TPrintJob() override;

    void Start();
    // Finished comes at once with cancelled set; the worker stops at its next step and removes what it wrote.
    void Cancel();
    bool Running() const { return running_; }

signals:
    // printed: the whole message went to the printer (or the file); error: why not, when it failed.
    void Finished(bool printed, bool cancelled, const QString& error);
    // The worker has returned: the printer and the temporary file are gone.
    void WorkerEnded();

private:
    struct TShared;
    std::shared_ptr<TShared> shared_;
    bool running_ = false;
    bool started_ = false;
};

// Prints the rendering of a message onto the printer, on the calling thread, stopping between its steps when
// cancelled becomes true. A PDF file is written through a temporary file and renamed over the target when
// complete; nothing is left of it when cancelled or failed. Returns "" when printed, else the reason; cancelled is
// set when it stopped for that.
QString PrintRendering(QPrinter& printer, const pelmsg::TMSGProperties& message, const TRenderOptions& options,
    const std::atomic<bool>& cancelled, bool& wasCancelled);

} // namespace quorra
