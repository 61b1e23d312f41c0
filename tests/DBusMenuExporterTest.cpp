#include "DBusMenuExporter.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace ombrix;

TEST(DBusMenuExporter, IdsStayWithTheirEntryAndTheRevisionMovesOnlyOnAChange) {
    DBusMenuExporter menu;
    const MenuEntry a{"a", "my_app"};
    const MenuEntry b{"b", "B"};
    menu.setEntries({a, b});
    const int idA = menu.idOf("a");
    const int idB = menu.idOf("b");
    const uint revision = menu.revision();

    menu.setEntries({a, b});
    EXPECT_EQ(menu.revision(), revision) << "nothing changed, nothing announced";
    EXPECT_EQ(menu.properties(idA, {}).value("label"), "my__app") << "an underscore is no key";

    int layouts = 0;
    QList<int> relabelled;
    QObject::connect(&menu, &DBusMenuExporter::layoutUpdated, [&] { ++layouts; });
    QObject::connect(&menu, &DBusMenuExporter::entriesChanged,
                     [&](const QList<int>& ids) { relabelled += ids; });
    menu.setEntries({a, MenuEntry{"b", "B2"}});
    EXPECT_EQ(layouts, 0) << "the same entries in the same places";
    EXPECT_EQ(relabelled, QList<int>{idB}) << "hosts that reread only the shape are told";

    menu.setEntries({MenuEntry{"c", "C"}, a});
    EXPECT_EQ(layouts, 1);
    EXPECT_GT(menu.revision(), revision);
    EXPECT_EQ(menu.idOf("a"), idA);
    EXPECT_EQ(menu.entry(idB), nullptr) << "a click on a gone entry reaches nothing";
    EXPECT_NE(menu.idOf("c"), idB) << "an id is never given to another entry";

    QStringList chosen;
    QObject::connect(&menu, &DBusMenuExporter::chosen, [&](const QString& key) { chosen << key; });
    menu.setEntries({a, MenuEntry{"off", "Off", false}});
    for (const int id : {idA, menu.idOf("off"), idB, 9999}) {
        menu.choose(id);
    }
    EXPECT_TRUE(chosen.isEmpty()) << "not before the host's call is answered";
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, QStringList{"a"});
}
