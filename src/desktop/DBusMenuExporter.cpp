#include "DBusMenuExporter.h"

#include "StatusNotifierAdaptors.h"

#include <QDBusError>
#include <QSet>
#include <QTimer>
#include <algorithm>

namespace ombrix {

namespace {

// In a dbusmenu label one underscore marks an access key and two stand for one.
QString escapedLabel(const QString& label) {
    QString out = label;
    return out.replace(u'_', QLatin1String("__"));
}

QString unknownId(int id) {
    return QStringLiteral("No menu entry has the id %1").arg(id);
}

// A peer may send millions of ids in one call; past this many none is read.
constexpr qsizetype maxIdsPerCall = 1000;

// The first maxIdsPerCall ids, each once, in the order given.
QList<int> distinct(const QList<int>& ids) {
    QList<int> out;
    QSet<int> seen;
    for (const int id : ids.first(std::min(ids.size(), maxIdsPerCall))) {
        if (!seen.contains(id)) {
            seen.insert(id);
            out.append(id);
        }
    }
    return out;
}

} // namespace

DBusMenuExporter::DBusMenuExporter(QObject* parent)
    : QObject(parent) {
    registerStatusNotifierTypes();
}

bool DBusMenuExporter::exportOn(QDBusConnection bus) {
    auto* adaptor = new DBusMenuAdaptor(this);
    if (!bus.registerObject(QLatin1String(path), this, QDBusConnection::ExportAdaptors)) {
        delete adaptor;
        return false;
    }
    return true;
}

void DBusMenuExporter::setEntries(const QList<MenuEntry>& entries) {
    if (entries == m_entries) {
        return;
    }
    const bool sameShape =
        std::equal(entries.begin(), entries.end(), m_entries.begin(), m_entries.end(),
                   [](const MenuEntry& a, const MenuEntry& b) { return a.key == b.key; });
    QList<int> changed;
    if (sameShape) {
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (!(entries[i] == m_entries[i])) {
                changed.append(m_ids.value(entries[i].key));
            }
        }
    } else {
        m_ids.clear();
        for (const MenuEntry& e : entries) {
            m_ids.insert(e.key, m_nextId++);
        }
    }
    m_entries = entries;
    ++m_revision;
    if (!sameShape) {
        emit layoutUpdated(m_revision, 0);
    }
    if (!changed.isEmpty()) {
        emit entriesChanged(changed);
    }
}

const MenuEntry* DBusMenuExporter::entry(int id) const {
    for (const MenuEntry& e : m_entries) {
        if (m_ids.value(e.key) == id) {
            return &e;
        }
    }
    return nullptr;
}

QList<int> DBusMenuExporter::ids() const {
    QList<int> out;
    for (const MenuEntry& e : m_entries) {
        out.append(m_ids.value(e.key));
    }
    return out;
}

QVariantMap DBusMenuExporter::properties(int id, const QStringList& wanted) const {
    QVariantMap all;
    if (id == 0) {
        all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (const MenuEntry* e = entry(id); e != nullptr && e->separator) {
        all.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else if (e != nullptr) {
        all.insert(QStringLiteral("label"), escapedLabel(e->label));
        all.insert(QStringLiteral("enabled"), e->enabled);
    }
    if (wanted.isEmpty()) {
        return all;
    }
    QVariantMap some;
    for (const QString& name : wanted) {
        if (all.contains(name)) {
            some.insert(name, all.value(name));
        }
    }
    return some;
}

bool DBusMenuExporter::choose(int id) {
    const MenuEntry* e = entry(id);
    if (e == nullptr || !e->enabled || e->separator) {
        return false;
    }
    // After the host's call has its answer: a choice such as Quit ends the program.
    QTimer::singleShot(0, this, [this, key = e->key] { emit chosen(key); });
    return true;
}

DBusMenuAdaptor::DBusMenuAdaptor(DBusMenuExporter* menu)
    : QDBusAbstractAdaptor(menu)
    , m_menu(menu) {
    connect(menu, &DBusMenuExporter::layoutUpdated, this, &DBusMenuAdaptor::LayoutUpdated);
    connect(menu, &DBusMenuExporter::entriesChanged, this, [this](const QList<int>& ids) {
        DBusMenuItems updated;
        for (const int id : ids) {
            updated.append({id, m_menu->properties(id, {})});
        }
        emit ItemsPropertiesUpdated(updated, {});
    });
}

bool DBusMenuAdaptor::known(int id) {
    if (id == 0 || m_menu->entry(id) != nullptr) {
        return true;
    }
    if (m_menu->calledFromDBus()) {
        m_menu->sendErrorReply(QDBusError::InvalidArgs, unknownId(id));
    }
    return false;
}

uint DBusMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                DBusMenuLayout& layout) {
    if (!known(parentId)) {
        return 0;
    }
    layout.id = parentId;
    layout.properties = m_menu->properties(parentId, propertyNames);
    if (parentId == 0 && recursionDepth != 0) {
        for (const int id : m_menu->ids()) {
            layout.children.append({id, m_menu->properties(id, propertyNames), {}});
        }
    }
    return m_menu->revision();
}

DBusMenuItems DBusMenuAdaptor::GetGroupProperties(const QList<int>& ids,
                                                  const QStringList& propertyNames) {
    DBusMenuItems out;
    for (const int id : ids.isEmpty() ? m_menu->ids() : distinct(ids)) {
        if (id == 0 || m_menu->entry(id) != nullptr) {
            out.append({id, m_menu->properties(id, propertyNames)});
        }
    }
    return out;
}

QDBusVariant DBusMenuAdaptor::GetProperty(int id, const QString& name) {
    if (!known(id)) {
        return QDBusVariant(QString());
    }
    const QVariantMap props = m_menu->properties(id, {name});
    if (!props.contains(name)) {
        m_menu->sendErrorReply(
            QDBusError::InvalidArgs,
            QStringLiteral("Menu entry %1 has no property %2").arg(id).arg(name));
        return QDBusVariant(QString());
    }
    return QDBusVariant(props.value(name));
}

void DBusMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (known(id) && eventId == QLatin1String("clicked")) {
        m_menu->choose(id);
    }
}

QList<int> DBusMenuAdaptor::EventGroup(const DBusMenuEvents& events) {
    QList<int> errors;
    QSet<int> seen;
    bool acted = false; // one user, one click: the rest of a flood is dropped
    for (const DBusMenuEvent& e : events.first(std::min(events.size(), maxIdsPerCall))) {
        if (e.id != 0 && m_menu->entry(e.id) == nullptr) {
            if (!seen.contains(e.id)) {
                seen.insert(e.id);
                errors.append(e.id);
            }
        } else if (!acted && e.eventId == QLatin1String("clicked")) {
            acted = m_menu->choose(e.id);
        }
    }
    return errors;
}

bool DBusMenuAdaptor::AboutToShow(int id) {
    known(id);
    return false; // the layout is always current
}

QList<int> DBusMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    for (const int id : distinct(ids)) {
        if (id != 0 && m_menu->entry(id) == nullptr) {
            idErrors.append(id);
        }
    }
    return {};
}

} // namespace ombrix
