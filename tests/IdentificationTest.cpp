// Flag reading, tooling-path and selection rules, kernel facts, and the text helpers.

#include "Identification.h"

#include "FakeKernel.h"

#include <gtest/gtest.h>
#include <optional>

using namespace Qt::StringLiterals;
namespace Identification = ombrix::Identification;

namespace {

struct FlagCase {
    const char* name;
    QString flag;
    QStringList args;
    std::optional<QString> expected;
};

TEST(FlagValue, Table) {
    const FlagCase cases[] = {
        {"joined form", "--target", {"dart", "--target=web"}, "web"},
        {"separated form", "--target", {"dart", "--target", "web"}, "web"},
        {"flag is last element", "--target", {"dart", "--target"}, std::nullopt},
        {"empty joined value is a value", "--target", {"dart", "--target="}, ""},
        {"dash-word skipped, later occurrence wins",
         "-d",
         {"dart", "-d", "-v", "-d", "macos"},
         "macos"},
        {"earlier separated beats later joined",
         "--target",
         {"dart", "--target", "web", "--target=flutter"},
         "web"},
        {"prefix of another flag is not the flag",
         "--target",
         {"dart", "--targets", "x"},
         std::nullopt},
        {"case-sensitive", "--target", {"dart", "--TARGET=x"}, std::nullopt},
        {"value keeps further equals signs",
         "--dtd-uri",
         {"dart", "--dtd-uri=ws://h/?a=b"},
         "ws://h/?a=b"},
        {"accent on the equals sign is not a joined flag",
         "--target",
         {"dart", u"--target=\u0301x"_s},
         std::nullopt},
        {"element 0 is read too", "--x", {"--x=0"}, "0"},
        {"empty list", "--x", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Identification::flagValue(c.flag, c.args), c.expected);
    }
}

TEST(SpacedFlagValue, Table) {
    const FlagCase cases[] = {
        {"value spread over elements, stops at --",
         "--app-name",
         {"dart", "--app-name=My", "App", "-", "Device:", "iPhone", "15", "--verbose"},
         "My App - Device: iPhone 15"},
        {"separated form is not read", "--app-name", {"dart", "--app-name", "x"}, std::nullopt},
        {"single-dash elements are taken", "--n", {"d", "--n=a", "-v", "b"}, "a -v b"},
        {"empty start", "--n", {"d", "--n=", "x"}, " x"},
        {"only the first joined element", "--n", {"d", "--n=a", "--n=b"}, "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Identification::spacedFlagValue(c.flag, c.args), c.expected);
    }
}

TEST(AppNameFields, Table) {
    using Fields = QHash<QString, QString>;
    const struct {
        const char* name;
        QStringList appName; // elements after "dart"; empty: no flag at all
        Fields expected;
    } cases[] = {
        {"no flag", {}, {}},
        {"one device field",
         {"--app-name=My", "App", "-", "Device:", "iPhone", "15"},
         {{"Device", "iPhone 15"}}},
        {"key without value", {"--app-name=Key:"}, {}},
        {"key with blank value", {"--app-name=Key:", "", "", ""}, {}},
        {"leading colon only", {"--app-name=:x"}, {}},
        {"leading colons skipped", {"--app-name=::k:v"}, {{"k", "v"}}},
        {"value keeps further colons", {"--app-name=a:b:c"}, {{"a", "b:c"}}},
        {"last key wins", {"--app-name=Device:", "A", "-", "Device:", "B"}, {{"Device", "B"}}},
        {"key may be blank", {"--app-name=", ":x"}, {{"", "x"}}},
        {"tabs and no-break spaces trimmed, line breaks kept",
         {u"--app-name=\tk\u00A0:\u2003v\n"_s},
         {{"k", "v\n"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Identification::appNameFields(QStringList{"dart"} + c.appName), c.expected);
    }
}

TEST(IsToolingPath, Table) {
    const struct {
        const char* path;
        bool expected;
    } cases[] = {
        {"/tmp", false},
        {"/tmp/build", true},
        {"/Users/me/Library/x", true},
        {"/Users/me/library/x", false},
        {"/private/var/folders/ab/T", true},
        {"/Users/me/.puro/envs/stable/flutter/bin/cache/dart-sdk", true},
        {"/opt/flutter/bin/cache", true},
        {"/home/me/src/app", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Identification::isToolingPath(c.path), c.expected);
    }
}

TEST(IsWatched, Table) {
    const struct {
        const char* name;
        QStringList args;
        bool expected;
    } cases[] = {
        {"empty", {}, false},
        {"dart", {"/usr/lib/dart/bin/dart", "run"}, true},
        {"DartAOTRuntime by name", {"/x/DartAOTRuntime"}, true},
        {"dartaotruntime", {"dartaotruntime", "x.snapshot"}, true},
        {"puro", {"/home/me/.puro/bin/puro"}, true},
        {"Puro is lower-cased", {"/x/Puro"}, true},
        {"puroxyz is not puro", {"/x/puroxyz"}, false},
        {"flutter_tester", {"/x/flutter_tester"}, true},
        {"flutter outside the sdk", {"/opt/flutter/bin/flutter", "run"}, false},
        {"flutter inside dart-sdk", {"/opt/flutter/bin/cache/dart-sdk/bin/flutter"}, true},
        {"dart-sdk fragment is case-sensitive", {"/opt/Dart-SDK/bin/flutter"}, false},
        {"sdk fragment only in a later argument", {"/bin/sh", "/x/dart-sdk/bin"}, false},
        {"name only via trailing slash", {"/x/dart/"}, true},
        {"own bundle", {"/Applications/Ombrix.app/Contents/MacOS/dart"}, false},
        {"own bundle split across arguments",
         {"/Volumes/My", "Ombrix.app/Contents/MacOS/dartx"},
         false},
        {"bash", {"/bin/bash"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Identification::isWatched(c.args), c.expected);
    }
}

TEST(LastPathComponent, Table) {
    const struct {
        QString path;
        QString expected;
    } cases[] = {
        {"/usr/bin/dart", "dart"},
        {"/usr/bin/dart///", "dart"},
        {"dart", "dart"},
        {"/", "/"},
        {"///", "/"},
        {"", ""},
        {"a/b", "b"},
        {"/a//b", "b"},
        {"/srv", "srv"},
        {QString::fromUtf8("/home/me/プロジェクト"), QString::fromUtf8("プロジェクト")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(Identification::lastPathComponent(c.path), c.expected);
    }
}

TEST(Capitalized, Table) {
    const struct {
        QString text;
        QString expected;
    } cases[] = {
        {"pub", "Pub"},
        {"PUB", "Pub"},
        {"build_runner", "Build_Runner"},
        {"run-tests", "Run-Tests"},
        {"x86", "X86"},
        {"86x", "86X"},
        {"o'neil", "O'neil"},
        {u"o\u2019neil"_s, u"O\u2019neil"_s},
        {"a.b", "A.b"},
        {"two words", "Two Words"},
        {u"\u00E9cole"_s, u"\u00C9cole"_s},
        {u"e\u0301COLE"_s, u"E\u0301cole"_s},                   // the accent does not start a word
        {u"stra\u00DFe"_s, u"Stra\u00DFe"_s},                   // no upper-casing inside a word
        {u"\u00DF"_s, u"Ss"_s},                                 // full mapping, title form
        {u"\u01C6ungla"_s, u"\u01C5ungla"_s},                   // digraph takes its titlecase form
        {u"\U00010428\U00010428"_s, u"\U00010400\U00010428"_s}, // Deseret, non-BMP
        {u"\U00010400\U00010400"_s, u"\U00010400\U00010428"_s},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(Identification::capitalized(c.text), c.expected);
    }
}

TEST(Capitalized, UnpairedSurrogateIsKept) {
    const QString broken = QString(QChar(0xD801)) + u"ab"_s;
    EXPECT_EQ(Identification::capitalized(broken), QString(QChar(0xD801)) + u"Ab"_s);
}

TEST(WorkingDirectory, FromKernel) {
    ombrix::testing::FakeKernel kernel;
    kernel.processes[10].cwd = "/home/me/caf\xc3\xa9";
    kernel.processes[11].cwd = std::nullopt;
    EXPECT_EQ(Identification::workingDirectory(10, kernel), QString::fromUtf8("/home/me/café"));
    EXPECT_EQ(Identification::workingDirectory(11, kernel), std::nullopt);
    EXPECT_EQ(Identification::workingDirectory(12, kernel), std::nullopt);
}

} // namespace
