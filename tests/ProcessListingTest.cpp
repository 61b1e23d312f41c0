// The ps text parse and its strict decoding.

#include "ProcessListing.h"

// clang-format off
#include <vector> // FakeKernel.h uses it without including it
#include "FakeKernel.h"
// clang-format on

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using ombrix::ListedProcess;
namespace ProcessListing = ombrix::ProcessListing;
using ombrix::testing::FakeKernel;

namespace {

using Entries = QList<ListedProcess>;

TEST(ParsePsOutput, Table) {
    const struct {
        const char* name;
        QString text;
        Entries expected;
    } cases[] = {
        {"empty", "", {}},
        {"only line feeds", "\n\n\n", {}},
        {"padded pid",
         "  123 /usr/lib/dart/bin/dart run\n",
         {{123, {"/usr/lib/dart/bin/dart", "run"}}}},
        {"runs of spaces make no empty arguments", "1    a   b  \n", {{1, {"a", "b"}}}},
        {"pid alone", "7\n  8   \n9 a", {{9, {"a"}}}},
        {"letter in pid skips only that line", "1x a\n2 b", {{2, {"b"}}}},
        {"plus sign", "+5 a", {{5, {"a"}}}},
        {"minus sign", "-5 a", {{-5, {"a"}}}},
        {"bare signs", "+ a\n- a\n+-1 a", {}},
        {"range ends",
         "2147483647 a\n-2147483648 b",
         {{2147483647, {"a"}}, {-2147483647 - 1, {"b"}}}},
        {"just outside the range", "2147483648 a\n-2147483649 b\n99999999999999999999999 c", {}},
        {"leading zeros", "0007 a", {{7, {"a"}}}},
        {"non-ASCII digits", u"\u0661\u0662 a\n\uFF11 b"_s, {}},
        {"tab after pid is no separator", "12\ta b\n13\tc", {}},
        {"tab after the space belongs to the argument", "12 \ta", {{12, {"\ta"}}}},
        {"tabs and Unicode spaces trimmed", u"\t\u00A0\u3000 4 a\u2003\t"_s, {{4, {"a"}}}},
        {"carriage return is not trimmed", "4 a\r\n5 b", {{4, {"a\r"}}, {5, {"b"}}}},
        {"NULs are content", u"4 a\0b \0\n"_s, {{4, {u"a\0b"_s, u"\0"_s}}}},
        {"space in a directory name splits the path",
         "42 /Applications/Visual Studio Code.app/x --type=a",
         {{42, {"/Applications/Visual", "Studio", "Code.app/x", "--type=a"}}}},
        {"order kept", "3 c\n1 a\n2 b", {{3, {"c"}}, {1, {"a"}}, {2, {"b"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ProcessListing::parse(c.text), c.expected);
    }
}

TEST(ParsePsOutput, HugeInputStaysIntact) {
    const QString longArgument(1 << 20, u'x');
    QString text = u"1 "_s + longArgument + u'\n';
    for (int pid = 2; pid <= 20000; ++pid) {
        text += QString::number(pid) + u" /usr/bin/dart run\n"_s;
    }
    const Entries entries = ProcessListing::parse(text);
    ASSERT_EQ(entries.size(), 20000);
    EXPECT_EQ(entries.first().args, QStringList{longArgument});
    EXPECT_EQ(entries.last(), (ListedProcess{20000, {"/usr/bin/dart", "run"}}));
}

TEST(ListProcesses, DecodesStrictly) {
    const struct {
        const char* name;
        std::string bytes;
        QString expected;
    } cases[] = {
        {"ASCII", "1 a\n", "1 a\n"},
        {"multi-byte", "1 caf\xc3\xa9 \xf0\x9f\x98\x80\n", u"1 caf\u00E9 \U0001F600\n"_s},
        {"embedded NUL kept", std::string("1 a\0b", 5), u"1 a\0b"_s},
        {"stray continuation byte", "1 a\n2 \x80\n", ""},
        {"overlong slash", "1 \xc0\xaf", ""},
        {"encoded surrogate", "1 \xed\xa0\x80", ""},
        {"beyond U+10FFFF", "1 \xf4\x90\x80\x80", ""},
        {"truncated at the end", "1 caf\xc3", ""},
        {"Latin-1 byte", "1 caf\xe9\n", ""},
        {"nothing", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeKernel kernel;
        kernel.setListing(c.bytes);
        EXPECT_EQ(ProcessListing::listProcesses(kernel), c.expected);
    }
}

} // namespace
