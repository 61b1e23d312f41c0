#pragma once

// The compact table in a frameless popup of a fixed 540 x 470, opened from the
// tray item and closed as soon as it loses focus (a click anywhere else). On
// Wayland it is a frameless window that the compositor places.
//
// One click on the item changes the panel once: for a short while after it
// opens or closes, what that click still brings in whatever order the window
// manager and the tray hand it over (a second activation, a focus change, a
// press held by a grab) is not taken for a new request.

#include "ProcessListView.h"

#include <QWidget>
#include <functional>
#include <optional>

namespace ombrix {

class PathMaskSetting;
class MonitorState;

class TrayPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize panelSize{540, 470};
    // How long one click's aftermath lasts, in milliseconds.
    static constexpr qint64 settleMs = 300;

    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    // `clock` times the settling after each change; empty: a QElapsedTimer.
    TrayPanel(MonitorState& monitor, PathMaskSetting& hidePaths, ProcessListView::Actions actions,
              QWidget* parent = nullptr, Clock clock = {});

    // Opens the panel beside `anchor` (the tray icon's screen rectangle), or
    // at `cursor` when the tray reports no geometry; a second click on the
    // icon while the panel is open closes it instead.
    void toggle(const QRect& anchor, const QPoint& cursor);
    void popUp(const QRect& anchor, const QPoint& cursor);

    // Where a panel of `size` goes: below an anchor in the upper half of the
    // screen, above one in the lower half, centred on it horizontally, and
    // always inside `screen`. An empty anchor stands for the point `cursor`.
    // A known `bar` (the desktop panel holding the icon) is kept clear: the
    // panel goes below a top bar, above a bottom one, beside a side one.
    static QPoint placement(const QRect& anchor, const QPoint& cursor, const QRect& screen,
                            QSize size, const QRect& bar = {});

signals:
    // A right click on the tray icon while the panel was open: the panel has
    // closed and the icon's menu is wanted at `globalPos`. The open panel
    // holds the pointer, so the tray itself never sees that click.
    void iconMenuRequested(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool within(const std::optional<qint64>& since) const;

    ProcessListView* m_view;
    Clock m_clock;
    // The click that opened the panel must not close it.
    std::optional<qint64> m_openedAt;
    // Where the panel closes on losing the focus, the click on the tray icon
    // that took it also arrives as an activation, which must not reopen it. A
    // press held by the popup's grab never reaches the tray.
    std::optional<qint64> m_focusLostAt;
    QRect m_iconArea; // where the icon that opened the panel is, on screen
};

} // namespace ombrix
