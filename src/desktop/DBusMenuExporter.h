#pragma once

// A flat menu on the session bus as com.canonical.dbusmenu (version 3), the
// menu a StatusNotifierItem host drops from its item. The owner sets the
// entries; the exporter answers the host's reads and hands back the entry
// the user chose, by key.
//
// While the entries stay the same keys in the same order, each keeps its id
// and a change of its text goes out as ItemsPropertiesUpdated (hosts such as
// GNOME's reread only the layout's shape). When entries come, go or move, all
// of them get new ids and LayoutUpdated goes out: GNOME's extension misplaces
// entries it is asked to move within a menu, but builds a new one right. An
// id is never given out twice, so a click that races a change reaches the
// entry the user saw or nothing. Nothing is sent while nothing changes.
// Unknown ids and malformed calls get D-Bus errors. A call naming many ids
// costs bounded work: the first 1000 are read, each once, and one call makes
// at most one click. Used on the thread that owns it.

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
    // chosen() follows from the event loop, for an enabled entry only;
    // false when `id` names no such entry.
    bool choose(int id);

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
