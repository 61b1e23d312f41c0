#pragma once

// What a process row asks for on the user's behalf. The list passes its rows'
// requests on as its own, so both declare them here, once. Each names the
// process the user saw (pid and start time), never just its pid.

#include "DartProcess.h"

#include <QWidget>

namespace ombrix {

class ProcessRequests : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

signals:
    void terminateRequested(const ombrix::ProcessRef& process);
    void forceQuitRequested(const ombrix::ProcessRef& process);
    void revealRequested(const QString& path);
    void detailsRequested(const ombrix::ProcessRef& process);
};

} // namespace ombrix
