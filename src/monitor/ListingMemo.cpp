#include "ListingMemo.h"

#include "Identification.h"

namespace ombrix {

std::vector<const ListingLine*> ListingMemo::lines(const QString& psOutput) {
    std::vector<const ListingLine*> result;
    Map next;
    next.reserve(m_lines.size());
    ProcessListing::forEachLine(psOutput, [&](QStringView line) {
        if (auto seen = next.find(line); seen != next.end()) {
            result.push_back(&seen->second); // the same line twice in one listing
            return;
        }
        if (auto kept = m_lines.find(line); kept != m_lines.end()) {
            // Moving the node keeps its address: earlier pointers stay valid.
            result.push_back(&next.insert(m_lines.extract(kept)).position->second);
            return;
        }
        std::optional<ListedProcess> entry = ProcessListing::parseLine(line);
        if (!entry) {
            return;
        }
        ListingLine parsed;
        parsed.watched = Identification::isWatched(entry->args);
        parsed.dtdUri = Identification::flagValue(QStringLiteral("--dtd-uri"), entry->args);
        parsed.commandLine = entry->args.join(u' ');
        parsed.executableName = Identification::lastPathComponent(entry->args.first());
        parsed.entry = std::move(*entry);
        result.push_back(&next.emplace(line.toString(), std::move(parsed)).first->second);
    });
    m_lines = std::move(next);
    return result;
}

} // namespace ombrix
