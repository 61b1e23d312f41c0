#include "DetailsWindows.h"

#include "MonitorState.h"

#include <QApplication>

namespace ombrix {

DetailsWindows::DetailsWindows(MonitorState& monitor)
    : QObject(&monitor)
    , m_monitor(monitor)
    , m_reader(new FactsReader(this)) {
    connect(m_reader, &FactsReader::read, this,
            [this](const ProcessRef& process, const ProcessFacts& facts, bool versionRead) {
                for (const QPointer<ProcessDetailsWindow>& w : std::as_const(m_windows)) {
                    if (w && w->process() == process) {
                        w->takeFacts(facts, versionRead);
                    }
                }
            });
}

DetailsWindows::~DetailsWindows() {
    for (const QPointer<ProcessDetailsWindow>& window : std::as_const(m_windows)) {
        delete window.data();
    }
}

DetailsWindows& DetailsWindows::of(MonitorState& monitor) {
    auto* found = monitor.findChild<DetailsWindows*>(QString(), Qt::FindDirectChildrenOnly);
    return found ? *found : *new DetailsWindows(monitor);
}

ProcessDetailsWindow* DetailsWindows::open(const ProcessRef& ref, PathMaskSetting& hidePaths) {
    m_windows.removeIf([](const QPointer<ProcessDetailsWindow>& w) { return w.isNull(); });
    ProcessDetailsWindow* window = nullptr;
    for (const QPointer<ProcessDetailsWindow>& w : std::as_const(m_windows)) {
        if (w->process() == ref) {
            window = w;
        }
    }
    if (!window) {
        const auto row = std::find_if(
            m_monitor.processes().cbegin(), m_monitor.processes().cend(),
            [&](const DartProcess& p) { return p.id == ref.id && p.startTime == ref.startTime; });
        if (row == m_monitor.processes().cend()) {
            return nullptr;
        }
        window = new ProcessDetailsWindow(m_monitor, hidePaths, *row);
        m_windows.append(window);
        m_reader->request(*row);
    }
    window->setReturnTo(QApplication::activeWindow());
    window->show();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace ombrix
