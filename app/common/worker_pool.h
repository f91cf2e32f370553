#pragma once

// The threads that read, save and lay out documents for the window. A pool of their own: a long read or save
// never takes the threads Qt itself paints and scales images with (those of the global pool).

#include <algorithm>

#include <QThread>
#include <QThreadPool>

namespace quorra {

inline QThreadPool* DocumentWorkers()
{
    // Never freed: the program does not wait at its end for a read the user cancelled, which goes on in its
    // worker until it is done.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setObjectName(QStringLiteral("DocumentWorkers"));
        p->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        return p;
    }();
    return pool;
}

} // namespace quorra
