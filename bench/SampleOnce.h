#pragma once

// One sampling cycle of `monitor`, waited for on the calling thread's event loop.

#include "ProcessMonitor.h"

#include <QEventLoop>
#include <QFutureWatcher>

inline void sampleOnce(ombrix::ProcessMonitor& monitor) {
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(monitor.sample());
    if (!watcher.isFinished()) {
        loop.exec();
    }
}
