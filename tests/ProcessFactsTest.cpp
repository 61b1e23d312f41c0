#include "ProcessFacts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ombrix {
namespace {

// The SDK's version file as it may be found: only a short line of version
// characters is shown; anything else reads "unknown" (absent, in the SDK).
TEST(ProcessFacts, SdkVersionFileReadsOnlyAsAVersion) {
    struct Case {
        const char* name;
        QByteArray content; // empty name: no file at all
        std::optional<QString> version;
        bool inSdk = true;
    };
    const Case cases[] = {
        {"plain", "3.5.0\n", QStringLiteral("3.5.0")},
        {"prerelease", "3.6.0-216.1.beta", QStringLiteral("3.6.0-216.1.beta")},
        {"binary",
         QByteArray("\x7f"
                    "ELF\x02\x01\x00\x00",
                    8),
         std::nullopt},
        {"huge", QByteArray(1 << 20, '1'), std::nullopt},
        {"two lines", "3.5.0\nrm -rf /\n", std::nullopt},
        {"markup", "<b>3.5</b>", std::nullopt},
        {"unreadable", "3.5.0", std::nullopt},
        {"directory", {}, std::nullopt},
        {"missing", {}, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        ASSERT_TRUE(QDir(root.path()).mkpath("flutter/bin/cache/dart-sdk/bin"));
        const QString sdk = root.path() + "/flutter/bin/cache/dart-sdk";
        const QString file = sdk + "/version";
        if (QByteArray(c.name) == "directory") {
            QDir(sdk).mkdir("version");
        } else if (c.inSdk) {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
            f.close();
            if (QByteArray(c.name) == "unreadable") {
                ::chmod(file.toLocal8Bit().constData(), 0);
                if (QFile(file).open(QIODevice::ReadOnly)) {
                    continue; // root reads it anyway
                }
            }
        }
        ProcessFacts facts;
        facts.executable = sdk + "/bin/dart";
        ProcessFacts::readSdkVersion(facts);
        EXPECT_EQ(facts.inSdk, c.inSdk);
        EXPECT_EQ(facts.sdkVersion, c.version);
    }
    EXPECT_EQ(ProcessFacts::sdkVersionFile("/usr/bin/flutter_tester"), std::nullopt);
    EXPECT_EQ(ProcessFacts::sdkVersionFile("/usr/lib/dart/bin/dart"), "/usr/lib/dart/version");
}

} // namespace
} // namespace ombrix
