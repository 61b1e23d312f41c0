// The ps output as bytes: decoding, the whole parse, and each line on its own.
// Also the environment handed to ps, one variable per NUL-separated piece.

#include "FakeKernel.h"
#include "FuzzInput.h"
#include "ProcessListing.h"
#include "PsEnvironment.h"

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ombrix;
    const std::string_view input = fuzz::bytes(data, size);

    testing::FakeKernel kernel;
    kernel.setListing(std::string(input));
    const QString text = ProcessListing::listProcesses(kernel);
    const QList<ListedProcess> listing = ProcessListing::parse(text);
    // The whole parse is the line parse, line by line.
    qsizetype at = 0;
    ProcessListing::forEachLine(text, [&](QStringView line) {
        if (const auto one = ProcessListing::parseLine(line)) {
            if (at >= listing.size() || !(listing[at++] == *one)) {
                std::abort();
            }
            if (one->args.isEmpty()) {
                std::abort();
            }
        }
    });
    if (at != listing.size()) {
        std::abort();
    }

    std::vector<std::string> pieces;
    for (std::size_t begin = 0; begin <= input.size();) {
        const std::size_t end = std::min(input.find('\0', begin), input.size());
        pieces.emplace_back(input.substr(begin, end - begin));
        begin = end + 1;
    }
    std::vector<const char*> environment;
    for (const std::string& piece : pieces) {
        environment.push_back(piece.c_str());
    }
    environment.push_back(nullptr);
    (void)platform::psEnvironment(environment.data());
    return 0;
}
