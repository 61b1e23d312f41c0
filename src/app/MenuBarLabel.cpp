#include "MenuBarLabel.h"

#include "Leftovers.h"
#include "MonitorState.h"
#include "Symbols.h"
#include "ValueText.h"

#include <QPainter>
#include <QSystemTrayIcon>

namespace ombrix {

namespace {

// Light chip inside a dark rim: one of the two stands out on any panel, dark
// or light, where the desktop leaves the drawing to us.
QPixmap contrastingChip(int side) {
    const double rim = qMax(1.0, side / 16.0);
    const QSizeF glyph(side - 2 * rim, side - 2 * rim);
    const QString chip = QStringLiteral("memorychip");
    QPixmap out(side, side);
    out.fill(Qt::transparent);
    QPainter p(&out);
    const QPixmap dark = Symbols::pixmap(chip, glyph, QColor(0x1c, 0x1c, 0x1c));
    for (const int dx : {-1, 0, 1}) {
        for (const int dy : {-1, 0, 1}) {
            p.drawPixmap(QPointF(rim + dx * rim, rim + dy * rim), dark);
        }
    }
    p.drawPixmap(QPointF(rim, rim), Symbols::pixmap(chip, glyph, QColor(0xf4, 0xf4, 0xf4)));
    return out;
}

} // namespace

QIcon MenuBarLabel::trayIcon() {
    QIcon drawn;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        drawn.addPixmap(contrastingChip(side));
    }
    // Where the theme has our symbolic icon, the tray gets its name and the
    // desktop recolours it to suit the panel.
    return QIcon::fromTheme(QLatin1String(symbolicIconName), drawn);
}

MenuBarLabel::MenuBarLabel(MonitorState& monitor, QSystemTrayIcon& tray, QObject* parent)
    : QObject(parent)
    , m_monitor(monitor)
    , m_tray(tray) {
    m_tray.setIcon(trayIcon());
    connect(&m_monitor, &MonitorState::processesChanged, this, &MenuBarLabel::refresh);
    refresh();
}

QString MenuBarLabel::title() const {
    return ValueText::bytes(m_monitor.totalMemoryBytes());
}

QString MenuBarLabel::toolTip() const {
    const qsizetype leftovers = m_monitor.leftoverCount();
    return leftovers > 0
               ? title() + u'\n' + Leftovers::summary(leftovers, m_monitor.leftoverBytes())
               : title();
}

void MenuBarLabel::refresh() {
    m_tray.setToolTip(toolTip());
}

} // namespace ombrix
