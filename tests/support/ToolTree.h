#pragma once

// A scratch tree laid out like a Dart SDK beside a Flutter project and an IDE,
// for tests that start real tools: a shell copied to dart-sdk/bin/dart runs
// "snapshots" that are really scripts, so the process table shows a Dart tool
// exactly as the IDE would start it. The scripts use shell builtins only, so
// nothing else is started that a test would have to find and stop; the readers
// end when their stdin closes.
//
// It lives in $HOME/.cache/ombrix-tests, wherever the build tree is: paths
// under /tmp or /var count as tooling, never as projects. A fixture derives
// from it and skips its tests when ready() is false (no home directory).

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace ombrix::testing {

class ToolTree {
public:
    explicit ToolTree(const std::string& tag) {
        namespace fs = std::filesystem;
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home != '/') {
            return;
        }
        m_root = fs::path(home) / ".cache/ombrix-tests" / (tag + '-' + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "dart-sdk/bin/snapshots");
        fs::create_directories(m_root / "share/code");
        fs::create_directories(m_root / "shop_app/lib/src");
        fs::copy_file("/bin/sh", dart());
        fs::copy_file("/bin/sh", ide()); // an IDE by its file name
        std::ofstream(m_root / "shop_app/pubspec.yaml") << "name: shop_app\n";
        for (const char* reader : {"analysis_server.dart.snapshot", "flutter_tools.snapshot"}) {
            std::ofstream(snapshot(reader)) << "read line\n";
        }
        for (const char* busy :
             {"frontend_server.dart.snapshot", "frontend_server_aot.dart.snapshot"}) {
            std::ofstream(snapshot(busy)) << "while :; do :; done\n";
        }
    }
    ~ToolTree() {
        std::error_code ignored;
        if (!m_root.empty()) {
            std::filesystem::remove_all(m_root, ignored);
        }
    }
    ToolTree(const ToolTree&) = delete;
    ToolTree& operator=(const ToolTree&) = delete;

    bool ready() const { return !m_root.empty(); }
    std::string path(const char* relative) const { return (m_root / relative).string(); }
    std::string dart() const { return path("dart-sdk/bin/dart"); }
    std::string ide() const { return path("share/code/code"); }
    std::string snapshots() const { return path("dart-sdk/bin/snapshots"); }
    std::string snapshot(const char* name) const { return snapshots() + '/' + name; }

protected:
    std::filesystem::path m_root;
};

} // namespace ombrix::testing
