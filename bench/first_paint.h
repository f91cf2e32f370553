#pragma once

// The child side of the window start-up benchmarks (see process_start.h): says "painted" on standard output once
// a watched widget has painted while `ready` holds, then ends the event loop.

#include <cstdio>
#include <functional>

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace tessaly_bench {

class TFirstPaint : public QObject {
public:
    TFirstPaint(QWidget* target, std::function<bool()> ready)
        : QObject(target)
        , ready_(std::move(ready))
    {
        target->installEventFilter(this);
        for (QWidget* child : target->findChildren<QWidget*>())
            child->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !reported_ && (!ready_ || ready_())) {
            reported_ = true;
            // The paint under way ends with the window's contents on the screen; report after it.
            QTimer::singleShot(0, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool()> ready_;
    bool reported_ = false;
};

// Watches `target` and the widgets in it (those that exist now).
inline void ReportFirstPaint(QWidget* target, std::function<bool()> ready = {})
{
    new TFirstPaint(target, std::move(ready));
}

} // namespace tessaly_bench
