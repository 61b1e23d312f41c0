#include "VisibleText.h"

#include <gtest/gtest.h>

namespace {

TEST(VisibleText, ControlsAreDrawnAndEverythingElseKept) {
    struct Row {
        const char* name;
        QString in;
        QString out;
    };
    const Row rows[] = {
        {"plain path", QStringLiteral("/home/me/app"), QStringLiteral("/home/me/app")},
        {"backslash and non-ASCII", QStringLiteral("C:\\x caf\u00e9 \u65e5"),
         QStringLiteral("C:\\x caf\u00e9 \u65e5")},
        {"tab, line feed, return", QStringLiteral("a\tb\nc\rd"), QStringLiteral(R"(a\tb\nc\rd)")},
        {"escape and NUL", QString::fromUtf16(u"\x1b[31m\0x", 7),
         QStringLiteral(R"(\x1b[31m\x00x)")},
        {"DEL and C1", QStringLiteral("\x7f\u0085\u009b"), QStringLiteral(R"(\x7f\x85\x9b)")},
        {"Unicode line breaks", QStringLiteral("a\u2028b\u2029"),
         QStringLiteral(R"(a\u2028b\u2029)")},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ombrix::visibleText(row.in), row.out) << row.name;
    }
}

} // namespace
