#pragma once

// A flat menu on the session bus as com.canonical.dbusmenu (version 3), the
// menu a StatusNotifierItem host drops from its item. The owner sets the
// entries; the exporter answers the host's reads and hands back the entry
// the user chose, by key.
//
// Every entry keeps the id it first got for its key, and an id is never given
// to another key, so a click that races a change reaches the entry the user
// saw or nothing. The revision moves only when an entry or one of its texts
// changed: LayoutUpdated goes out when entries came, went or moved, and
// ItemsPropertiesUpdated for entries that stayed but changed (hosts such as
// GNOME's read only the layout's shape again); nothing is sent while nothing
// changes.
// Unknown ids and malformed calls get D-Bus errors. Used on the thread that
// owns it.

#include <QDBusConnection>
#include <QDBusContext>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace ombrix {

struct MenuEntry {
    QString key;   // what comes back when it is chosen; unique within a menu
    QString label; // shown as it stands (no access keys)
    bool enabled = true;
    bool separator = false;

    friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};

// The D-Bus context is its adaptor's: QtDBus hands it to the adapted object.
class DBusMenuExporter : public QObject, public QDBusContext {
    Q_OBJECT
public:
    static constexpr const char* path = "/MenuBar";

    explicit DBusMenuExporter(QObject* parent = nullptr);

    // Exports the menu at `path` on `bus`; false when the path is taken.
    bool exportOn(QDBusConnection bus);

    void setEntries(const QList<MenuEntry>& entries);
    const QList<MenuEntry>& entries() const { return m_entries; }
    uint revision() const { return m_revision; }

    // For the adaptor: the entry of `id` (0 is the root), or null.
    const MenuEntry* entry(int id) const;
    int idOf(const QString& key) const { return m_ids.value(key); }
    QList<int> ids() const;
    QVariantMap properties(int id, const QStringList& wanted) const;
    // chosen() follows from the event loop, for an enabled entry only.
    void choose(int id);

signals:
    void chosen(const QString& key);
    void layoutUpdated(uint revision, int parent);
    void entriesChanged(const QList<int>& ids); // same place, new label or state

private:
    QList<MenuEntry> m_entries;
    QHash<QString, int> m_ids;
    int m_nextId = 1;
    uint m_revision = 1;
};

} // namespace ombrix
