#include "MenuBarLabel.h"

#include "ByteCount.h"
#include "ProcessMonitor.h"
#include "Symbols.h"

#include <QGuiApplication>
#include <QPalette>
#include <QSystemTrayIcon>
#include <limits>

namespace ombrix {

namespace {

QIcon trayIcon() {
    // Tray themes differ in size and background; the palette's text colour is
    // the one most likely to stand out against the panel it sits on.
    const QColor tint = QGuiApplication::palette().color(QPalette::WindowText);
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        icon.addPixmap(Symbols::pixmap(QStringLiteral("memorychip"), QSizeF(side, side), tint));
    }
    return icon;
}

} // namespace

MenuBarLabel::MenuBarLabel(ProcessMonitor& monitor, QSystemTrayIcon& tray, QObject* parent)
    : QObject(parent)
    , m_monitor(monitor)
    , m_tray(tray) {
    m_tray.setIcon(trayIcon());
    connect(&m_monitor, &ProcessMonitor::processesChanged, this, &MenuBarLabel::refresh);
    refresh();
}

QString MenuBarLabel::title() const {
    // The formatter takes a signed count; real totals are far below its limit,
    // and clamping keeps an absurd one from turning negative.
    const quint64 total = m_monitor.totalMemoryBytes();
    const auto bytes = static_cast<std::int64_t>(
        std::min<quint64>(total, std::numeric_limits<std::int64_t>::max()));
    return QString::fromStdString(platform::formatByteCount(bytes));
}

void MenuBarLabel::refresh() {
    m_tray.setToolTip(title());
}

} // namespace ombrix
