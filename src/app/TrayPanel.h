#pragma once

// The compact table in a frameless popup of a fixed 540 x 470, opened from the
// tray item and closed as soon as it loses focus (a click anywhere else). On
// Wayland it is a frameless window that the compositor places.

#include "ProcessListView.h"

#include <QElapsedTimer>
#include <QWidget>

namespace ombrix {

class PathMaskSetting;
class MonitorState;

class TrayPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize panelSize{540, 470};

    TrayPanel(MonitorState& monitor, PathMaskSetting& hidePaths, ProcessListView::Actions actions,
              QWidget* parent = nullptr);

    // Opens the panel beside `anchor` (the tray icon's screen rectangle), or
    // at `cursor` when the tray reports no geometry; a second click on the
    // icon while the panel is open closes it instead.
    void toggle(const QRect& anchor, const QPoint& cursor);
    void popUp(const QRect& anchor, const QPoint& cursor);

    // Where a panel of `size` goes: below an anchor in the upper half of the
    // screen, above one in the lower half, centred on it horizontally, and
    // always inside `screen`. An empty anchor stands for the point `cursor`.
    static QPoint placement(const QRect& anchor, const QPoint& cursor, const QRect& screen,
                            QSize size);

signals:
    // A right click on the tray icon while the panel was open: the panel has
    // closed and the icon's menu is wanted at `globalPos`. The open panel
    // holds the pointer, so the tray itself never sees that click.
    void iconMenuRequested(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    ProcessListView* m_view;
    // When the panel last closed: the click on the tray icon that closes the
    // popup arrives again as an activation, which must not reopen it.
    QElapsedTimer m_sinceHidden;
    QRect m_iconArea; // where the icon that opened the panel is, on screen
};

} // namespace ombrix
