// Display names built from argument lists.

#include "Identification.h"

#include <gtest/gtest.h>
#include <optional>

using namespace Qt::StringLiterals;
namespace Identification = ombrix::Identification;

namespace {

TEST(DisplayName, Table) {
    const std::optional<QString> none;
    const struct {
        const char* name;
        QStringList args;
        std::optional<QString> ide;
        QString expected;
    } cases[] = {
        {"empty list", {}, none, "Dart"},
        {"bare dart", {"/x/dart"}, none, "Dart"},
        {"bare puro", {"/x/puro"}, none, "Puro"},
        {"mcp server executable", {"/x/dart_mcp_server", "--anything", "run"}, "Zed", "MCP Server"},
        {"frontend web",
         {"/x/dart", "/x/frontend_server_aot.dart.snapshot", "--target=dartdevc"},
         none,
         "Frontend Compiler (web)"},
        {"frontend flutter, separated",
         {"/x/dart", "/x/frontend_server_aot.dart.snapshot", "--target", "flutter"},
         none,
         "Frontend Compiler (Flutter)"},
        {"frontend other target",
         {"/x/dart", "/x/frontend_server.dart.snapshot", "--target=vm"},
         none,
         "Frontend Compiler (vm)"},
        {"frontend empty target",
         {"/x/dart", "/x/frontend_server.dart.snapshot", "--target="},
         none,
         "Frontend Compiler ()"},
        {"frontend no target",
         {"/x/dart", "/x/frontend_server.dart.snapshot"},
         "Cursor",
         "Frontend Compiler"},
        {"dds with device",
         {"/x/dart", "/x/dds.dart.snapshot", "--app-name=Demo", "-", "Device:", "Pixel", "7"},
         none,
         "Dart Dev Service (Pixel 7)"},
        {"dds without app name", {"/x/dart", "/x/dds.dart.snapshot"}, none, "Dart Dev Service"},
        {"flutter run with -d",
         {"/x/dart", "/x/flutter_tools.snapshot", "run", "-d", "macos"},
         none,
         "Flutter Run (macos)"},
        {"24-character device is shown",
         {"/x/dart", "/x/flutter_tools.snapshot", "run", "--device-id=abcdefghij-klmnopqrst-u"},
         none,
         "Flutter Run (abcdefghij-klmnopqrst-u)"},
        {"25-character device hides, no retry with -d",
         {"/x/dart", "/x/flutter_tools.snapshot", "run", "--device-id=abcdefghij-klmnopqrst-uvw",
          "-d", "macos"},
         none,
         "Flutter Run"},
        {"device length counts characters, not code units",
         {"/x/dart", "flutter", "attach",
          u"--device-id=\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
          u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"_s},
         none,
         u"Flutter Attach (\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"
         u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600)"_s},
        {"device suffix only for run-like commands",
         {"/x/dart", "pub", "-d", "x"},
         none,
         "Dart Pub"},
        {"flutter daemon with ide",
         {"/x/dart", "/x/flutter_tools.snapshot", "daemon"},
         "Cursor",
         "Flutter Daemon (Cursor)"},
        {"plain daemon", {"/x/dart", "daemon"}, none, "Daemon"},
        {"client id beats ide",
         {"/x/dart", "language-server", "--client-id=my-editor"},
         "VS Code",
         "Analyzer (my editor)"},
        {"analyzer with ide", {"/x/dart", "analysis-server"}, "Zed", "Analyzer (Zed)"},
        {"empty client id hides ide",
         {"/x/dart", "analysis-server", "--client-id="},
         "Zed",
         "Analyzer"},
        {"tooling daemon", {"/x/dart", "tooling-daemon"}, "VS Code", "Tooling Daemon (VS Code)"},
        {"mcp-server word", {"/x/dart", "mcp-server"}, none, "MCP Server"},
        {"development-service",
         {"/x/dart", "development-service", "--app-name=A - Device: iOS"},
         none,
         "Dart Dev Service (iOS)"},
        {"puro flutter run", {"/x/puro", "flutter", "run"}, none, "Flutter Run"},
        {"puro flutter", {"/x/puro", "flutter"}, none, "Flutter"},
        {"puro dart pub get", {"/x/puro", "dart", "pub", "get"}, none, "Dart Pub"},
        {"no command word", {"/x/dart", "--enable-vm-service", "/x/bin/server.dart"}, none, "Dart"},
        {"separated flag value becomes the word",
         {"/x/dart", "--port", "8080", "/x/bin/server.dart"},
         none,
         "Dart 8080"},
        {"devtools with ide", {"/x/dart", "devtools"}, "VS Code", "DevTools (VS Code)"},
        {"devtools with empty ide", {"/x/dart", "devtools"}, "", "DevTools"},
        {"only the first snapshot counts",
         {"/x/dart", "/x/other.snapshot", "/x/frontend_server.dart.snapshot"},
         none,
         "Dart"},
        {"snapshot found past earlier words",
         {"/x/dart", "run", "/x/dds.dart.snapshot", "x"},
         none,
         "Dart Dev Service"},
        {"flutter_tools snapshot without word",
         {"/x/dart", "/x/flutter_tools.snapshot", "-v"},
         none,
         "Flutter"},
        {"capitalised words", {"/x/dart", "build_runner"}, none, "Dart Build_Runner"},
        {"argument 0 is never the word", {"run"}, none, "Dart"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Identification::displayName(c.args, c.ide), c.expected);
    }
}

TEST(Qualified, EmptyOrAbsentQualifierAddsNothing) {
    EXPECT_EQ(Identification::qualified("A", std::nullopt), "A");
    EXPECT_EQ(Identification::qualified("A", QString()), "A");
    EXPECT_EQ(Identification::qualified("A", QString("b c")), "A (b c)");
}

} // namespace
