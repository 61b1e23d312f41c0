// Project search over a working directory (first line) and arguments, against
// a made-up file system: a pubspec.yaml "exists" when its hash says so, which
// places projects anywhere without touching the disk. The searcher runs as the
// monitor runs it, in the fake kernel's prober, answered at once.

#include "FakeKernel.h"
#include "FuzzInput.h"
#include "Identification.h"
#include "ProjectSearcher.h"

#include <QHash>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ombrix;
    QStringList args = fuzz::lines(fuzz::bytes(data, size));
    const QString text = args.takeFirst();
    const std::optional<QString> cwd = text.isEmpty() ? std::nullopt : std::optional(text);
    testing::FakeKernel kernel;
    kernel.home = "/home/me";
    const auto search = Identification::projectSearch(cwd, args);
    for (const QStringList* part : {&search.fromCwd, &search.fromArgs}) {
        for (const QString& directory : *part) {
            const QString pubspec = Identification::pubspecPath(directory);
            if (qHash(pubspec, 7) % 5 == 0) {
                kernel.files.insert(pubspec.toStdString());
            }
        }
    }

    ProjectSearcher searcher(kernel, kernel);
    searcher.start({{1, cwd, args}});
    const ProjectSearcher::Answers answers = searcher.collect(std::chrono::milliseconds(0));
    if (!answers.contains(1) || !searcher.idle()) {
        std::abort();
    }
    // A project is a directory holding a pubspec.yaml, or the working directory.
    const std::optional<QString> root = answers.value(1);
    if (root && (root->isEmpty() ||
                 (root != cwd &&
                  kernel.files.count(Identification::pubspecPath(*root).toStdString()) == 0))) {
        std::abort();
    }
    return 0;
}
