#pragma once

// The structured D-Bus types of StatusNotifierItem and dbusmenu, with their
// marshalling. Private to the desktop library; registerStatusNotifierTypes()
// runs once before any of them crosses the bus.

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace ombrix {

// One icon size: ARGB32 pixels, each in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using SniPixmaps = QList<SniPixmap>;

struct SniToolTip {
    QString iconName;
    SniPixmaps pixmaps;
    QString title;
    QString text;
};

struct DBusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};

struct DBusMenuItem {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItems = QList<DBusMenuItem>;

struct DBusMenuItemKeys {
    int id = 0;
    QStringList names;
};
using DBusMenuItemKeysList = QList<DBusMenuItemKeys>;

struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEvents = QList<DBusMenuEvent>;

QDBusArgument& operator<<(QDBusArgument& arg, const SniPixmap& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, SniPixmap& value);
QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& value);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayout& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayout& value);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItem& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& value);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemKeys& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& value);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& value);

void registerStatusNotifierTypes();

} // namespace ombrix

Q_DECLARE_METATYPE(ombrix::SniPixmap)
Q_DECLARE_METATYPE(ombrix::SniToolTip)
Q_DECLARE_METATYPE(ombrix::DBusMenuLayout)
Q_DECLARE_METATYPE(ombrix::DBusMenuItem)
Q_DECLARE_METATYPE(ombrix::DBusMenuItemKeys)
Q_DECLARE_METATYPE(ombrix::DBusMenuEvent)
