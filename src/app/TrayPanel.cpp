#include "TrayPanel.h"

#include "DockBars.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

namespace ombrix {

namespace {

constexpr int gap = 4; // between the tray icon and the panel's edge

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

TrayPanel::Clock monotonicMs() {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

} // namespace

TrayPanel::TrayPanel(MonitorState& monitor, PathMaskSetting& hidePaths,
                     ProcessListView::Actions actions, QWidget* parent, Clock clock)
    : QWidget(parent, panelFlags())
    , m_view(new ProcessListView(monitor, hidePaths, true, std::move(actions)))
    , m_clock(clock ? std::move(clock) : monotonicMs()) {
    setObjectName(QStringLiteral("panel"));
    setFixedSize(panelSize);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

QPoint TrayPanel::placement(const QRect& anchor, const QPoint& cursor, const QRect& screen,
                            QSize size, const QRect& bar) {
    const QRect at = anchor.isEmpty() ? QRect(cursor, QSize(1, 1)) : anchor;
    int x = at.center().x() - size.width() / 2;
    int y = at.center().y() < screen.center().y() ? at.bottom() + 1 + gap
                                                  : at.top() - gap - size.height();
    if (!bar.isEmpty() && bar.width() >= bar.height()) {
        y = bar.center().y() < screen.center().y() ? bar.bottom() + 1 + gap
                                                   : bar.top() - gap - size.height();
    } else if (!bar.isEmpty()) {
        y = at.center().y() - size.height() / 2;
        x = bar.center().x() < screen.center().x() ? bar.right() + 1 + gap
                                                   : bar.left() - gap - size.width();
    }
    // A screen smaller than the panel pins it to the top-left corner.
    x = std::max(screen.left(), std::min(x, screen.right() + 1 - size.width()));
    y = std::max(screen.top(), std::min(y, screen.bottom() + 1 - size.height()));
    return {x, y};
}

bool TrayPanel::within(const std::optional<qint64>& since) const {
    return since && m_clock() - *since < settleMs;
}

void TrayPanel::toggle(const QRect& anchor, const QPoint& cursor) {
    if (isVisible()) {
        if (!within(m_openedAt)) {
            hide();
        }
        return;
    }
    if (!within(m_focusLostAt)) {
        popUp(anchor, cursor);
    }
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
    // Without a window manager the work area still holds the bar: ask where it is.
    move(placement(anchor, cursor, area, panelSize, DockBars::barAt(probe)));
    show();
    raise();
    activateWindow();
}

void TrayPanel::mousePressEvent(QMouseEvent* event) {
    const QPoint global = event->globalPosition().toPoint();
    const bool outside = !rect().contains(event->position().toPoint());
    if (event->button() == Qt::RightButton && outside && m_iconArea.contains(global)) {
        hide();
        emit iconMenuRequested(global);
        event->accept();
        return;
    }
    // Still the opening click, come through the grab late: Qt would close the popup.
    if (outside && within(m_openedAt)) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TrayPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // A popup closes on a click outside; this also closes it when another
    // window takes focus without a click (a keyboard switch, a new window).
    // Focus moving about just after the click is the window manager's
    // answer to the click, not the user's.
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow() &&
        !within(m_openedAt)) {
        hide();
        m_focusLostAt = m_clock();
    }
}

void TrayPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_openedAt = m_clock();
    // Once settled, take the focus back if the window manager kept it
    // elsewhere, so that a later click elsewhere is seen.
    QTimer::singleShot(int(settleMs), this, [this] {
        if (isVisible() && !isActiveWindow()) {
            raise();
            activateWindow();
        }
    });
}

void TrayPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_openedAt.reset();
}

} // namespace ombrix
