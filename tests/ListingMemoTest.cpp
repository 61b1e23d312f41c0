// The per-line memo must give, listing after listing, exactly what parsing
// each listing afresh gives, however lines change, repeat or break.

#include "ListingMemo.h"

#include "Identification.h"

#include <gtest/gtest.h>

using namespace ombrix;

namespace {

void expectFresh(const std::vector<const ListingLine*>& lines, const QString& listing,
                 const char* step) {
    const QList<ListedProcess> fresh = ProcessListing::parse(listing);
    ASSERT_EQ(lines.size(), std::size_t(fresh.size())) << step;
    for (qsizetype i = 0; i < fresh.size(); ++i) {
        const ListingLine& line = *lines[std::size_t(i)];
        EXPECT_EQ(line.entry, fresh[i]) << step << ", line " << i;
        EXPECT_EQ(line.watched, Identification::isWatched(fresh[i].args)) << step;
        EXPECT_EQ(line.dtdUri,
                  Identification::flagValue(QStringLiteral("--dtd-uri"), fresh[i].args))
            << step;
        EXPECT_EQ(line.commandLine, fresh[i].args.join(u' ')) << step;
        EXPECT_EQ(line.executableName, Identification::lastPathComponent(fresh[i].args.first()))
            << step;
    }
}

} // namespace

TEST(ListingMemo, EveryListingReadsAsIfParsedAfresh) {
    struct Row {
        const char* name;
        std::vector<QString> listings; // fed to one memo in turn
    };
    const QString analyzer =
        QStringLiteral("  10 /sdk/bin/dart language-server --dtd-uri=ws://127.0.0.1:1/s\n");
    const QString flutter = QStringLiteral("  11 /sdk/bin/dart flutter_tools.snapshot run\n");
    const QString shell = QStringLiteral("  12 /bin/bash\n");
    const Row rows[] = {
        {"unchanged", {analyzer + shell, analyzer + shell, analyzer + shell}},
        {"a line goes and comes back", {analyzer + flutter, flutter, analyzer + flutter}},
        {"same pid, new arguments",
         {flutter, QStringLiteral("  11 /sdk/bin/dart flutter_tools.snapshot test\n")}},
        {"same arguments, new pid",
         {flutter, QStringLiteral("  13 /sdk/bin/dart flutter_tools.snapshot run\n")}},
        {"order changes", {analyzer + flutter + shell, shell + flutter + analyzer}},
        {"a line twice", {analyzer + analyzer, analyzer}},
        {"malformed lines between", {QStringLiteral("garbage\n  x1 dart\n") + analyzer + "\n\n"}},
        {"no trailing newline",
         {QStringLiteral("  10 /sdk/bin/dart"), QStringLiteral("  10 /sdk/bin/dart\n")}},
        {"failed listing in between", {analyzer, QString(), analyzer}},
        {"spacing differs", {analyzer, QStringLiteral("10   /sdk/bin/dart   language-server\t\n")}},
    };
    for (const Row& row : rows) {
        ListingMemo memo;
        int step = 0;
        for (const QString& listing : row.listings) {
            const std::string label = std::string(row.name) + ", listing " + std::to_string(step++);
            expectFresh(memo.lines(listing), listing, label.c_str());
        }
    }
}
