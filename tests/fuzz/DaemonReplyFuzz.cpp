// A daemon's reply text, and the same bytes as the frames that carry it,
// fed in two pieces at a split point taken from the first byte.

#include "FuzzInput.h"
#include "ReplyReader.h"
#include "WorkspaceResolver.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ombrix::WorkspaceResolver;
    const std::string_view input = ombrix::fuzz::bytes(data, size);
    const auto root = firstRoot(QString::fromUtf8(input.data(), qsizetype(input.size())));
    if (root && !root->startsWith(u'/')) {
        std::abort();
    }

    ReplyReader reader(4096, 8192);
    const std::size_t split = size ? data[0] % (size + 1) : 0;
    reader.feed(QByteArrayView(input.data(), qsizetype(split)));
    reader.feed(QByteArrayView(input.data() + split, qsizetype(size - split)));
    if (reader.state() == ReplyReader::State::Text && reader.text().toUtf8().size() > 4096) {
        std::abort();
    }
    (void)reader.takePing();
    return 0;
}
