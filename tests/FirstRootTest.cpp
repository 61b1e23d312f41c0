#include "NamedRow.h"
#include "WorkspaceResolver.h"

#include <QFile>
#include <gtest/gtest.h>
#include <optional>

namespace {

using ombrix::WorkspaceResolver::firstRoot;
using ombrix::WorkspaceResolver::secret;

QString replyWithRoots(const QString& roots) {
    return QStringLiteral(R"({"jsonrpc":"2.0","id":"1","result":{"ideWorkspaceRoots":[%1]}})")
        .arg(roots);
}

QString fixture(const char* name) {
    QFile file(QStringLiteral(OMBRIX_FIXTURES "/workspace/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
}

struct RootCase {
    const char* name;
    QString reply;
    std::optional<QString> expected;
    OMBRIX_NAMED_ROW(RootCase)
};

class FirstRoot : public testing::TestWithParam<RootCase> {};

TEST_P(FirstRoot, GivesTheExpectedPath) {
    const RootCase& c = GetParam();
    EXPECT_EQ(firstRoot(c.reply), c.expected) << qPrintable(c.reply);
}

const std::optional<QString> none;

std::optional<QString> path(const char* text) {
    return QString::fromUtf8(text);
}

QString roots(const char* text) {
    return replyWithRoots(QString::fromUtf8(text));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FirstRoot,
    testing::Values(
        RootCase{"FirstOfTwoWithoutTrailingSlash",
                 roots(R"("file:///Users/me/app/","file:///Users/me/other")"),
                 path("/Users/me/app")},
        RootCase{"DotDotResolved", roots(R"("file:///Users/me/app/../lib")"),
                 path("/Users/me/lib")},
        RootCase{"DotAndDoubleSlashDropped", roots(R"("file:///Users/./me//app/.")"),
                 path("/Users/me/app")},
        RootCase{"DotDotAboveRootStaysAtRoot", roots(R"("file:///../../etc")"), path("/etc")},
        RootCase{"EncodedDotDotClimbsToo", roots(R"("file:///Users/me/app/%2E%2E/lib")"),
                 path("/Users/me/lib")},
        RootCase{"RootDirectory", roots(R"("file:///")"), path("/")},
        RootCase{"PercentEscapeDecoded", roots(R"("file:///Users/me/My%20App")"),
                 path("/Users/me/My App")},
        RootCase{"RawSpaceAccepted", roots(R"("file:///Users/me/My App")"),
                 path("/Users/me/My App")},
        RootCase{"Utf8Escapes", roots(R"("file:///Users/me/caf%C3%A9")"),
                 path("/Users/me/caf\xc3\xa9")},
        RootCase{"LocalhostHost", roots(R"("file://localhost/Users/me/app")"),
                 path("/Users/me/app")},
        RootCase{"NoAuthority", roots(R"("file:/Users/me/app")"), path("/Users/me/app")},
        RootCase{"LaterValidRootIgnored", roots(R"("/Users/me/app","file:///Users/me/b")"), none},
        RootCase{"BarePath", roots(R"("/Users/me/app")"), none},
        RootCase{"HttpScheme", roots(R"("http://example.com/Users/me/app")"), none},
        RootCase{"RelativeFileUrl", roots(R"("file:relative/app")"), none},
        RootCase{"FileWithoutPath", roots(R"("file://")"), none},
        RootCase{"RemoteHost", roots(R"("file://server/share/app")"), none},
        RootCase{"EncodedSlashInSegment", roots(R"("file:///Users/me/a%2Fb")"), none},
        RootCase{"EncodedSlashHidingDotDot", roots(R"("file:///Users/me/app%2F..%2F..")"), none},
        RootCase{"EncodedNul", roots(R"("file:///Users/me/app%00.txt")"), none},
        RootCase{"EmptyString", roots(R"("")"), none}, RootCase{"EmptyArray", roots(""), none},
        RootCase{"MixedArray", roots(R"("file:///Users/me/app",1)"), none},
        RootCase{"RootsNotArray", QStringLiteral(R"({"result":{"ideWorkspaceRoots":"file:///a"}})"),
                 none},
        RootCase{"ResultNotObject", fixture("result-not-object.json"), none},
        RootCase{"ErrorReply", fixture("error-reply.json"), none},
        RootCase{"TopLevelArray", fixture("top-level-array.json"), none},
        RootCase{"TruncatedJson", QStringLiteral(R"({"result":{"ideWorkspaceRoots":["file:///a")"),
                 none},
        RootCase{"TrailingGarbage", replyWithRoots(QStringLiteral(R"("file:///a")")) + u'x', none},
        RootCase{"DeepNesting", QString(100000, u'[') + QString(100000, u']'), none},
        RootCase{"IdAndVersionNotExamined",
                 QStringLiteral(R"({"id":7,"jsonrpc":"1.0","result":{"ideWorkspaceRoots":)"
                                R"(["file:///ws"]}})"),
                 path("/ws")},
        RootCase{"FixtureGoodReply", fixture("good-reply.json"), path("/Users/me/My App")}),
    ombrix::testing::RowName());

struct SecretCase {
    const char* name;
    const char* url;
    const char* expected;
    OMBRIX_NAMED_ROW(SecretCase)
};

class Secret : public testing::TestWithParam<SecretCase> {};

TEST_P(Secret, IsTheTrimmedDecodedPath) {
    const SecretCase& c = GetParam();
    EXPECT_EQ(secret(QUrl(QString::fromUtf8(c.url))), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, Secret,
    testing::Values(SecretCase{"Plain", "ws://127.0.0.1:1234/abcDEF=/", "abcDEF="},
                    SecretCase{"InnerSlashesKept", "ws://127.0.0.1:1234//a/b//c//", "a/b//c"},
                    SecretCase{"PercentDecoded", "ws://127.0.0.1:1234/a%20b%2Fc", "a b/c"},
                    SecretCase{"EncodedSlashesTrimmed", "ws://127.0.0.1:1234/%2Fx%2F", "x"},
                    SecretCase{"QueryNotPart", "ws://127.0.0.1:1234/s?x=1#f", "s"},
                    SecretCase{"NoPath", "ws://127.0.0.1:1234", ""},
                    SecretCase{"OnlySlashes", "ws://127.0.0.1:1234///", ""}),
    ombrix::testing::RowName());

} // namespace
