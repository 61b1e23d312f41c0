#pragma once

// What a process row asks for on the user's behalf. The list passes its rows'
// requests on as its own, so both declare them here, once.

#include "DartProcess.h"

#include <QWidget>

namespace ombrix {

class ProcessRequests : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

signals:
    void terminateRequested(Pid pid);
    void forceQuitRequested(Pid pid);
    void revealRequested(const QString& path);
    void detailsRequested(Pid pid);
};

} // namespace ombrix
