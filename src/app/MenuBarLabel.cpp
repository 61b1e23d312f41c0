#include "MenuBarLabel.h"

#include "Leftovers.h"
#include "MonitorState.h"
#include "Symbols.h"
#include "TrayMenu.h"
#include "ValueText.h"

#include <QPainter>

namespace ombrix {

namespace {

constexpr int sides[] = {16, 22, 24, 32, 48, 64};

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

// The chip with an orange dot in its upper right corner, ringed in dark so it
// shows on a light panel too.
QPixmap badgedChip(int side) {
    QPixmap out = contrastingChip(side);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    const double r = side * 0.22;
    const QPointF centre(side - r - 0.5, r + 0.5);
    p.setPen(QPen(QColor(0x1c, 0x1c, 0x1c), qMax(1.0, side / 16.0)));
    p.setBrush(QColor(0xff, 0x95, 0x00));
    p.drawEllipse(centre, r, r);
    return out;
}

} // namespace

QIcon MenuBarLabel::drawnIcon() {
    QIcon drawn;
    for (const int side : sides) {
        drawn.addPixmap(contrastingChip(side));
    }
    return drawn;
}

QIcon MenuBarLabel::trayIcon() {
    // Where the theme has our symbolic icon, the tray gets its name and the
    // desktop recolours it to suit the panel.
    return QIcon::fromTheme(QLatin1String(symbolicIconName), drawnIcon());
}

QIcon MenuBarLabel::attentionIcon() {
    QIcon badged;
    for (const int side : sides) {
        badged.addPixmap(badgedChip(side));
    }
    return badged;
}

MenuBarLabel::MenuBarLabel(MonitorState& monitor, QObject* parent)
    : QObject(parent)
    , m_monitor(monitor) {
    connect(&m_monitor, &MonitorState::processesChanged, this, &MenuBarLabel::refresh);
    refresh();
}

QString MenuBarLabel::title() const {
    return m_title;
}

QString MenuBarLabel::toolTip() const {
    return m_toolTip;
}

bool MenuBarLabel::attention() const {
    return m_attention;
}

void MenuBarLabel::refresh() {
    const qsizetype leftovers = m_monitor.leftoverCount();
    QString title = ValueText::bytes(m_monitor.totalMemoryBytes());
    QString tip = leftovers > 0
                      ? title + u'\n' + Leftovers::summary(leftovers, m_monitor.leftoverBytes())
                      : title;
    QList<MenuEntry> menu = TrayMenu::entries(m_monitor.processes());
    if (title == m_title && tip == m_toolTip && (leftovers > 0) == m_attention && menu == m_menu) {
        return;
    }
    m_title = std::move(title);
    m_toolTip = std::move(tip);
    m_attention = leftovers > 0;
    m_menu = std::move(menu);
    emit changed();
}

} // namespace ombrix
