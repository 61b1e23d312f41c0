#include "StatusNotifierItem.h"

#include <gtest/gtest.h>

using namespace ombrix;

TEST(StatusNotifierItem, ToolTipReachesMarkupHostsAsTheTextItWas) {
    struct Row {
        const char* name;
        QString plain;
        QString sent;
    };
    const Row rows[] = {
        {"ampersand and angle brackets", "R&D <beta> 1.2 GB", "R&amp;D &lt;beta&gt; 1.2 GB"},
        {"text that looks escaped already", "&amp; &lt;", "&amp;amp; &amp;lt;"},
        {"a tag", "<b>bold</b>", "&lt;b&gt;bold&lt;/b&gt;"},
        {"plain lines pass unchanged", "1.2 GB\n1 leftover \u00b7 300 MB",
         "1.2 GB\n1 leftover \u00b7 300 MB"},
    };
    StatusNotifierItem item(QDBusConnection(QStringLiteral("none")), QStringLiteral("ombrix"),
                            QStringLiteral("Ombrix"));
    for (const Row& row : rows) {
        item.setToolTip(row.plain, row.plain);
        EXPECT_EQ(item.toolTip().title, row.sent) << row.name;
        EXPECT_EQ(item.toolTip().text, row.sent) << row.name;
    }
}
