// Project search over a working directory (first line) and arguments, against
// a made-up file system: a path "exists" when its hash says so, which places
// pubspec.yaml files anywhere without touching the disk.

#include "FakeKernel.h"
#include "FuzzInput.h"
#include "Identification.h"

#include <QHash>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ombrix;
    QStringList args = fuzz::lines(fuzz::bytes(data, size));
    const QString cwd = args.takeFirst();
    testing::FakeKernel kernel;
    kernel.home = "/home/me";

    const FileExists exists = [](const QString& path) { return qHash(path, 7) % 5 == 0; };
    const auto root = Identification::projectRoot(cwd.isEmpty() ? std::nullopt : std::optional(cwd),
                                                  args, exists, kernel);
    if (root && root->isEmpty()) {
        std::abort();
    }
    return 0;
}
