#include "Appcast.h"

#include <gtest/gtest.h>

using namespace ombrix;
using Kind = UpdateOutcome::Kind;

namespace {

QByteArray feed(const QByteArray& items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
           "sparkle\"><channel><title>Ombrix</title>" +
           items + "</channel></rss>";
}

QByteArray item(const QByteArray& version, const QByteArray& link = "https://ombrix.app/dl") {
    return "<item><title>Ombrix " + version + "</title><link>" + link + "</link><sparkle:version>" +
           version + "</sparkle:version></item>";
}

} // namespace

TEST(Appcast, decidesAgainstTheRunningVersion) {
    struct Row {
        const char* name;
        QByteArray xml;
        Kind kind;
        const char* newest; // displayVersion of the chosen item; "" when none
    };
    const Row rows[] = {
        {"newer", feed(item("0.2.0")), Kind::UpdateAvailable, "0.2.0"},
        {"equal", feed(item("0.1.0")), Kind::UpToDate, "0.1.0"},
        {"equal with fewer components", feed(item("0.1")), Kind::UpToDate, "0.1"},
        {"older", feed(item("0.0.9")), Kind::UpToDate, "0.0.9"},
        {"newest is not the first item", feed(item("0.3") + item("1.10") + item("1.9")),
         Kind::UpdateAvailable, "1.10"},
        {"missing version", feed("<item><title>Ombrix</title><link>https://x</link></item>"),
         Kind::Failed, ""},
        {"unreadable versions only", feed(item("beta") + item("")), Kind::Failed, ""},
        {"unreadable items are passed over", feed(item("next") + item("0.4.1")),
         Kind::UpdateAvailable, "0.4.1"},
        {"empty feed", feed(""), Kind::Failed, ""},
        {"enclosure version attribute",
         feed("<item><enclosure url=\"https://x/o.tar\" sparkle:version=\"0.5\"/></item>"),
         Kind::UpdateAvailable, "0.5"},
        {"enclosure short version only",
         feed("<item><enclosure url=\"https://x/o.tar\" sparkle:shortVersionString=\"0.6\"/>"
              "</item>"),
         Kind::UpdateAvailable, "0.6"},
        {"build number compared, short version shown",
         feed("<item><sparkle:version>0.0.5</sparkle:version>"
              "<sparkle:shortVersionString>9.9</sparkle:shortVersionString></item>"),
         Kind::UpToDate, "9.9"},
        {"garbage", "<rss><channel><item><sparkle:version>", Kind::Failed, ""},
        {"not xml at all", "Service Unavailable", Kind::Failed, ""},
        {"empty body", "", Kind::Failed, ""},
        {"an html page", "<html><body><item>2.0</item></body></html>", Kind::Failed, ""},
        {"trailing garbage", feed(item("0.2.0")) + "<rss>", Kind::Failed, ""},
    };
    for (const Row& row : rows) {
        const UpdateOutcome outcome = decide(parseAppcast(row.xml), QStringLiteral("0.1.0"));
        EXPECT_EQ(outcome.kind, row.kind) << row.name << ": " << outcome.reason.toStdString();
        EXPECT_EQ(outcome.newest.displayVersion.toStdString(), row.newest) << row.name;
        EXPECT_EQ(outcome.kind == Kind::Failed, !outcome.reason.isEmpty()) << row.name;
    }
}

TEST(Appcast, prefersTheItemLinkOverTheEnclosure) {
    struct Row {
        const char* name;
        QByteArray xml;
        const char* link;
    };
    const Row rows[] = {
        {"item link",
         feed("<item><link>https://a/page</link><enclosure url=\"https://a/file\" "
              "sparkle:version=\"2\"/></item>"),
         "https://a/page"},
        {"enclosure when no link",
         feed("<item><enclosure url=\"https://a/file\" sparkle:version=\"2\"/></item>"),
         "https://a/file"},
        {"relative link is no link", feed(item("2", "download.html")), ""},
    };
    for (const Row& row : rows) {
        const Appcast parsed = parseAppcast(row.xml);
        ASSERT_TRUE(parsed.valid) << row.name << ": " << parsed.error.toStdString();
        ASSERT_EQ(parsed.items.size(), 1) << row.name;
        EXPECT_EQ(parsed.items[0].link.toString().toStdString(), row.link) << row.name;
    }
}

TEST(Appcast, comparesDottedVersionsNumerically) {
    struct Row {
        const char* a;
        const char* b;
        int order;
    };
    const Row rows[] = {
        {"1.10", "1.9", 1},
        {"1.9", "1.10", -1},
        {"10", "9", 1},
        {"2.0", "1.99.99", 1},
        {"1.0", "1.0.0", 0},
        {"01.2", "1.2", 0},
        {"v2.1", "2.1", 0},
        {" 1.2 ", "1.2", 0},
        {"1.2rc1", "1.2", 0},
        {"1.x", "1.0", 0},
        {"1.123456789012345678901234567890", "1.2", 1},
        {"99999999999999999999", "99999999999999999998", 1},
        {"0.0.1", "garbage", 1},
        {"", "-1", 0},
        {"beta", "0", -1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(compareVersions(QString::fromLatin1(row.a), QString::fromLatin1(row.b)),
                  row.order)
            << row.a << " vs " << row.b;
    }
}

TEST(Appcast, offersOnlyWebLinksAndShowsFeedTextVerbatim) {
    struct Row {
        const char* name;
        const char* link;
        bool offered;
    };
    const Row rows[] = {
        {"https", "https://ombrix.app/download", true},
        {"http", "http://ombrix.app/download", true},
        {"local file", "file:///usr/bin/evil", false},
        {"script", "javascript:alert(1)", false},
        {"none", "", false},
    };
    for (const Row& row : rows) {
        UpdateOutcome outcome;
        outcome.kind = Kind::UpdateAvailable;
        outcome.currentVersion = QStringLiteral("0.1.0");
        outcome.newest.displayVersion = QStringLiteral("<b>0.2</b>");
        outcome.newest.link = QUrl(QString::fromLatin1(row.link));
        const UpdateMessage message = describe(outcome, QStringLiteral("Ombrix"));
        EXPECT_EQ(!message.link.isEmpty(), row.offered) << row.name;
        EXPECT_TRUE(message.text.contains(QStringLiteral("<b>0.2</b>"))) << row.name;
    }

    UpdateOutcome flood;
    flood.kind = Kind::UpdateAvailable;
    flood.newest.displayVersion = QString(100000, QLatin1Char('9'));
    EXPECT_LT(describe(flood, QStringLiteral("Ombrix")).text.size(), 300);
}
