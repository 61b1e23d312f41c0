// Flag readers and display naming over an argument list, one argument a line;
// the first line is the flag asked for (and the executable a starter is
// matched by), the second the IDE name ("" for none).

#include "FuzzInput.h"
#include "Identification.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ombrix;
    QStringList args = fuzz::lines(fuzz::bytes(data, size));
    const QString flag = args.takeFirst();
    const QString ide = args.isEmpty() ? QString() : args.takeFirst();

    (void)Identification::flagValue(flag, args);
    (void)Identification::spacedFlagValue(flag, args);
    (void)Identification::appNameFields(args);
    (void)Identification::isWatched(args);
    (void)Identification::displayName(args, ide.isEmpty() ? std::nullopt : std::optional(ide));
    (void)Identification::isAnalyzer(args);
    (void)Identification::starter(1, flag, &args);
    (void)Identification::capitalized(flag);
    (void)Identification::lastPathComponent(flag);
    return 0;
}
