#pragma once

// The ordinary window: the full process table, at least 820 x 380 and free to
// grow, and the application menu ("About Ombrix", "Check for Updates…",
// "Quit"). It only assembles widgets; the table itself reads the monitor.

#include <QMainWindow>
#include <functional>

namespace ombrix {

class PathMaskSetting;
class ProcessListView;
class MonitorState;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize minimumWindowSize{820, 380};

    struct Actions {
        std::function<void()> checkForUpdates;
        std::function<void()> quit;
    };

    MainWindow(MonitorState& monitor, PathMaskSetting& hidePaths, Actions actions,
               QWidget* parent = nullptr);

    ProcessListView& view() const { return *m_view; }

private:
    void showAbout();

    ProcessListView* m_view;
};

} // namespace ombrix
