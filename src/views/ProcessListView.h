#pragma once

#include <QWidget>

#include <functional>

namespace ombrix {

class ProcessMonitor;
class PathMaskSetting;

// The process table in full (main window) or compact (tray panel) form. Reads
// the monitor and redraws on its change signals; never writes to it except
// through terminate().
class ProcessListView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openWindow;      // panel footer "Open Window"
        std::function<void()> checkForUpdates; // panel footer "Check for Updates"
        std::function<void()> quit;            // panel footer "Quit"
    };

    ProcessListView(ProcessMonitor& monitor, PathMaskSetting& hidePaths, bool compact,
                    Actions actions = {}, QWidget* parent = nullptr);
    ~ProcessListView() override;
};

} // namespace ombrix
