#include "DBusMenuExporter.h"

#include "StatusNotifierAdaptors.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace ombrix;

TEST(DBusMenuExporter, AChangeIsAnnouncedOnceAndOnlyTheSameEntryAnswersToAnId) {
    DBusMenuExporter menu;
    const MenuEntry a{"a", "my_app"};
    const MenuEntry b{"b", "B"};
    menu.setEntries({a, b});
    const int idA = menu.idOf("a");
    const int idB = menu.idOf("b");
    const uint revision = menu.revision();
    int layouts = 0;
    QList<int> relabelled;
    QObject::connect(&menu, &DBusMenuExporter::layoutUpdated, [&] { ++layouts; });
    QObject::connect(&menu, &DBusMenuExporter::entriesChanged,
                     [&](const QList<int>& ids) { relabelled += ids; });

    menu.setEntries({a, b});
    EXPECT_EQ(menu.revision(), revision) << "nothing changed, nothing announced";
    EXPECT_EQ(layouts + relabelled.size(), 0);
    EXPECT_EQ(menu.properties(idA, {}).value("label"), "my__app") << "an underscore is no key";

    menu.setEntries({a, MenuEntry{"b", "B2"}});
    EXPECT_EQ(layouts, 0) << "the same entries in the same places";
    EXPECT_EQ(relabelled, QList<int>{idB}) << "hosts that reread only the shape are told";
    EXPECT_EQ(menu.idOf("b"), idB);

    menu.setEntries({MenuEntry{"c", "C"}, a});
    EXPECT_EQ(layouts, 1);
    EXPECT_GT(menu.revision(), revision);
    for (const int old : {idA, idB}) {
        EXPECT_EQ(menu.entry(old), nullptr) << "a click on the old menu reaches nothing";
        EXPECT_NE(menu.idOf("c"), old) << "an id is never given out twice";
        EXPECT_NE(menu.idOf("a"), old);
    }

    QStringList chosen;
    QObject::connect(&menu, &DBusMenuExporter::chosen, [&](const QString& key) { chosen << key; });
    menu.setEntries({a, MenuEntry{"off", "Off", false}});
    for (const int id : {menu.idOf("a"), menu.idOf("off"), idB, 9999}) {
        menu.choose(id);
    }
    EXPECT_TRUE(chosen.isEmpty()) << "not before the host's call is answered";
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, QStringList{"a"});
}

TEST(DBusMenuExporter, AGroupCallReadsEachOfTheFirstThousandIdsOnceAndClicksOnce) {
    DBusMenuExporter menu;
    menu.setEntries({{"a", "A"}, {"b", "B"}, {"off", "Off", false}});
    const int a = menu.idOf("a"), b = menu.idOf("b"), off = menu.idOf("off"), x = 987654;
    auto* adaptor = new DBusMenuAdaptor(&menu); // the menu owns it
    QStringList chosen;
    QObject::connect(&menu, &DBusMenuExporter::chosen, [&](const QString& key) { chosen << key; });
    struct Row {
        const char* name;
        QList<int> ids;      // asked for, and clicked in one EventGroup
        QList<int> answered; // by GetGroupProperties
        QList<int> unknown;  // by AboutToShowGroup and EventGroup
        QStringList chosen;
    };
    const Row rows[] = {
        {"repeated ids", {a, a, b, a}, {a, b}, {}, {"a"}},
        {"unknown ids, a disabled entry first", {x, off, x, b}, {off, b}, {x}, {"b"}},
        {"ten thousand repeats", QList<int>(10'000, a), {a}, {}, {"a"}},
        {"past the first thousand", QList<int>(1000, x) + QList<int>{a}, {}, {x}, {}},
    };
    for (const Row& row : rows) {
        QList<int> answered, unknown;
        for (const DBusMenuItem& item : adaptor->GetGroupProperties(row.ids, {})) {
            answered << item.id;
        }
        adaptor->AboutToShowGroup(row.ids, unknown);
        DBusMenuEvents clicks;
        for (const int id : row.ids) {
            clicks.append({id, "clicked", QDBusVariant(0), 0});
        }
        chosen.clear();
        EXPECT_EQ(adaptor->EventGroup(clicks), row.unknown) << row.name;
        QCoreApplication::processEvents();
        EXPECT_EQ(answered, row.answered) << row.name;
        EXPECT_EQ(unknown, row.unknown) << row.name;
        EXPECT_EQ(chosen, row.chosen) << row.name;
    }
}
