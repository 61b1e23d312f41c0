#include "StatusNotifierItem.h"

#include "StatusNotifierAdaptors.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QImage>

namespace ombrix {

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QString id, QString title,
                                       QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_id(std::move(id))
    , m_title(std::move(title))
    , m_menu(this) {
    registerStatusNotifierTypes();
}

StatusNotifierItem::~StatusNotifierItem() {
    if (m_watcher == nullptr) {
        return;
    }
    m_bus.unregisterObject(QLatin1String(itemPath));
    m_bus.unregisterObject(QLatin1String(DBusMenuExporter::path));
}

void StatusNotifierItem::flush(std::chrono::milliseconds timeout) const {
    // Messages leave in order: once the bus has answered this, the rest is out.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    m_bus.call(ping, QDBus::Block, int(timeout.count()));
}

bool StatusNotifierItem::start() {
    if (m_watcher != nullptr || !m_bus.isConnected()) {
        return m_watcher != nullptr;
    }
    auto* adaptor = new StatusNotifierItemAdaptor(this);
    if (!m_bus.registerObject(QLatin1String(itemPath), this, QDBusConnection::ExportAdaptors)) {
        delete adaptor;
        return false;
    }
    if (!m_menu.exportOn(m_bus)) {
        m_bus.unregisterObject(QLatin1String(itemPath));
        delete adaptor;
        return false;
    }
    m_watcher = new QDBusServiceWatcher(QLatin1String(watcherService), m_bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (!owner.isEmpty()) {
                    registerWithWatcher();
                }
            });

    registerWithWatcher();
    return true;
}

void StatusNotifierItem::registerWithWatcher() {
    // By path, as libappindicator does: the host takes our unique name from the
    // call, and knows the item by the same id when it finds it on the bus itself.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(watcherService), QStringLiteral("/StatusNotifierWatcher"),
        QLatin1String(watcherService), QStringLiteral("RegisterStatusNotifierItem"));
    call << QLatin1String(itemPath);
    // A watcher that never answers holds nothing: the reply is not awaited.
    m_bus.send(call);
}

QString StatusNotifierItem::statusText() const {
    return m_status == Status::NeedsAttention ? QStringLiteral("NeedsAttention")
                                              : QStringLiteral("Active");
}

const SniPixmaps& StatusNotifierItem::iconPixmaps() const {
    return m_icon;
}

const SniPixmaps& StatusNotifierItem::attentionPixmaps() const {
    return m_attention;
}

SniToolTip StatusNotifierItem::toolTip() const {
    // Hosts read both as markup (Xfce as Pango's, KDE as HTML): a bare '&' or
    // '<' in a name would void the whole tooltip there.
    return {QString(), {}, m_tipTitle.toHtmlEscaped(), m_tipText.toHtmlEscaped()};
}

SniPixmaps StatusNotifierItem::pixmaps(const QIcon& icon) {
    SniPixmaps out;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QImage image = icon.pixmap(QSize(side, side), 1.0).toImage();
        if (image.isNull()) {
            continue;
        }
        if (image.size() != QSize(side, side)) {
            image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        image = image.convertToFormat(QImage::Format_ARGB32);
        QByteArray bytes;
        bytes.reserve(image.width() * image.height() * 4);
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = line[x];
                bytes.append(char(qAlpha(p)));
                bytes.append(char(qRed(p)));
                bytes.append(char(qGreen(p)));
                bytes.append(char(qBlue(p)));
            }
        }
        out.append({image.width(), image.height(), bytes});
    }
    return out;
}

void StatusNotifierItem::setIcon(const QString& themeName, const QIcon& drawn) {
    m_iconName = QIcon::hasThemeIcon(themeName) ? themeName : QString();
    m_icon = pixmaps(drawn);
    emit newIcon();
}

void StatusNotifierItem::setAttentionIcon(const QIcon& drawn) {
    m_attention = pixmaps(drawn);
    emit newAttentionIcon();
}

void StatusNotifierItem::setLabel(const QString& label, const QString& guide) {
    if (label == m_label && guide == m_guide) {
        return;
    }
    m_label = label;
    m_guide = guide;
    emit newLabel(m_label, m_guide);
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    if (title == m_tipTitle && text == m_tipText) {
        return;
    }
    m_tipTitle = title;
    m_tipText = text;
    emit newToolTip();
}

void StatusNotifierItem::setStatus(Status status) {
    if (status == m_status) {
        return;
    }
    m_status = status;
    emit newStatus(statusText());
}

StatusNotifierItemAdaptor::StatusNotifierItemAdaptor(StatusNotifierItem* item)
    : QDBusAbstractAdaptor(item)
    , m_item(item) {
    connect(item, &StatusNotifierItem::newLabel, this,
            &StatusNotifierItemAdaptor::XAyatanaNewLabel);
    connect(item, &StatusNotifierItem::newIcon, this, &StatusNotifierItemAdaptor::NewIcon);
    connect(item, &StatusNotifierItem::newAttentionIcon, this,
            &StatusNotifierItemAdaptor::NewAttentionIcon);
    connect(item, &StatusNotifierItem::newToolTip, this, &StatusNotifierItemAdaptor::NewToolTip);
    connect(item, &StatusNotifierItem::newStatus, this, &StatusNotifierItemAdaptor::NewStatus);
}

QString StatusNotifierItemAdaptor::id() const {
    return m_item->id();
}

QString StatusNotifierItemAdaptor::title() const {
    return m_item->title();
}

QString StatusNotifierItemAdaptor::status() const {
    return m_item->statusText();
}

QDBusObjectPath StatusNotifierItemAdaptor::menu() const {
    return QDBusObjectPath(QLatin1String(DBusMenuExporter::path));
}

QString StatusNotifierItemAdaptor::iconName() const {
    return m_item->iconName();
}

SniPixmaps StatusNotifierItemAdaptor::iconPixmap() const {
    return m_item->iconPixmaps();
}

SniPixmaps StatusNotifierItemAdaptor::attentionIconPixmap() const {
    return m_item->attentionPixmaps();
}

SniToolTip StatusNotifierItemAdaptor::toolTip() const {
    return m_item->toolTip();
}

QString StatusNotifierItemAdaptor::label() const {
    return m_item->label();
}

QString StatusNotifierItemAdaptor::labelGuide() const {
    return m_item->labelGuide();
}

void StatusNotifierItemAdaptor::Activate(int x, int y) {
    emit m_item->activated({x, y});
}

void StatusNotifierItemAdaptor::SecondaryActivate(int x, int y) {
    emit m_item->secondaryActivated({x, y});
}

void StatusNotifierItemAdaptor::XAyatanaSecondaryActivate(uint) {
    emit m_item->secondaryActivated({});
}

void StatusNotifierItemAdaptor::ContextMenu(int x, int y) {
    emit m_item->contextMenuRequested({x, y});
}

void StatusNotifierItemAdaptor::Scroll(int, const QString&) {}

void StatusNotifierItemAdaptor::ProvideXdgActivationToken(const QString&) {}

} // namespace ombrix
