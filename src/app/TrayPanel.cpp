#include "TrayPanel.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace ombrix {

namespace {

constexpr int gap = 4; // between the tray icon and the panel's edge

// The same click that closed the popup reaches the tray icon within this time.
constexpr qint64 reopenGuardMs = 300;

// Half the side of a tray icon, for trays that do not say where theirs is.
constexpr int iconSlop = 12;

// Wayland lets no client place a window, and a popup there needs a parent
// window the tray item does not have: the panel becomes a plain frameless
// window, which the compositor puts fully on screen. It still closes when it
// loses the focus (changeEvent).
Qt::WindowFlags panelFlags() {
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    return (wayland ? Qt::Window : Qt::Popup) | Qt::FramelessWindowHint;
}

} // namespace

TrayPanel::TrayPanel(MonitorState& monitor, PathMaskSetting& hidePaths,
                     ProcessListView::Actions actions, QWidget* parent)
    : QWidget(parent, panelFlags())
    , m_view(new ProcessListView(monitor, hidePaths, true, std::move(actions))) {
    setObjectName(QStringLiteral("panel"));
    setFixedSize(panelSize);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

QPoint TrayPanel::placement(const QRect& anchor, const QPoint& cursor, const QRect& screen,
                            QSize size) {
    const QRect at = anchor.isEmpty() ? QRect(cursor, QSize(1, 1)) : anchor;
    int x = at.center().x() - size.width() / 2;
    int y = at.center().y() < screen.center().y() ? at.bottom() + 1 + gap
                                                  : at.top() - gap - size.height();
    // A screen smaller than the panel pins it to the top-left corner.
    x = std::max(screen.left(), std::min(x, screen.right() + 1 - size.width()));
    y = std::max(screen.top(), std::min(y, screen.bottom() + 1 - size.height()));
    return {x, y};
}

void TrayPanel::toggle(const QRect& anchor, const QPoint& cursor) {
    if (isVisible()) {
        hide();
        return;
    }
    if (m_sinceHidden.isValid() && m_sinceHidden.elapsed() < reopenGuardMs) {
        return;
    }
    popUp(anchor, cursor);
}

void TrayPanel::popUp(const QRect& anchor, const QPoint& cursor) {
    // A tray without geometry (StatusNotifier) clicked at the cursor: the icon is about there.
    m_iconArea = anchor.isEmpty()
                     ? QRect(cursor - QPoint(iconSlop, iconSlop), QSize(2 * iconSlop, 2 * iconSlop))
                     : anchor;
    const QPoint probe = anchor.isEmpty() ? cursor : anchor.center();
    QScreen* screen = QGuiApplication::screenAt(probe);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(probe, panelSize);
    move(placement(anchor, cursor, area, panelSize));
    show();
    raise();
    activateWindow();
}

void TrayPanel::mousePressEvent(QMouseEvent* event) {
    const QPoint global = event->globalPosition().toPoint();
    if (event->button() == Qt::RightButton && !rect().contains(event->position().toPoint()) &&
        m_iconArea.contains(global)) {
        hide();
        emit iconMenuRequested(global);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TrayPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // A popup closes on a click outside; this also closes it when another
    // window takes focus without a click (a keyboard switch, a new window).
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) {
        hide();
    }
}

void TrayPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_sinceHidden.start();
}

} // namespace ombrix
