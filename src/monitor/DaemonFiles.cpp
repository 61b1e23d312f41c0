#include "DaemonFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdlib>

namespace ombrix {

namespace {

// The file is written just after the daemon starts; start times are read in
// clock ticks against a wall clock, so they may come out a little late.
constexpr qint64 startSlackMs = 1000;

} // namespace

DaemonFiles::DaemonFiles(std::string directory)
    : m_directory(std::move(directory)) {}

std::string DaemonFiles::directory() {
    // The daemon finds its home through $HOME; so do we, before the passwd entry.
    const char* home = std::getenv("HOME");
    return platform::daemonDirectory([](const char* name) { return std::getenv(name); },
                                     home != nullptr && *home == '/'
                                         ? std::string(home)
                                         : platform::systemKernel().homeDirectory());
}

std::optional<DaemonFiles::Claim> DaemonFiles::claim(const platform::Announcement& file) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(file.content.data(), qsizetype(file.content.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    // toInteger() gives the fallback for anything but a whole number that fits.
    const qint64 pid = object.value(QLatin1String("pid")).toInteger(-1);
    const qint64 epoch = object.value(QLatin1String("epoch")).toInteger(-1);
    const QString uri = object.value(QLatin1String("wsUri")).toString();
    if (pid != file.pid || epoch < 0 || !uri.startsWith(QLatin1String("ws"))) {
        return std::nullopt;
    }
    QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return Claim{file.pid, file.owner, epoch, std::move(url)};
}

bool DaemonFiles::holds(const Claim& claim, const platform::Kernel& kernel) {
    const auto usage = kernel.usage(claim.pid);
    if (!usage || kernel.liveness(claim.pid, usage->startTime) != platform::Liveness::Running ||
        kernel.owner(claim.pid) != std::optional<std::uint32_t>(claim.owner)) {
        return false;
    }
    const std::optional<std::int64_t> started = kernel.startedAtUnixMs(claim.pid);
    // Subtracted from the start, not added to the epoch: a hostile epoch must not overflow.
    return started && *started - startSlackMs <= claim.epoch;
}

std::vector<AnnouncedDaemon> DaemonFiles::live(const platform::Kernel& kernel,
                                               std::chrono::milliseconds wait) {
    const std::vector<platform::Announcement>& files = m_directory.look(wait);
    if (m_directory.listings() != m_parsed) {
        m_parsed = m_directory.listings();
        m_claims.clear();
        for (const platform::Announcement& file : files) {
            if (auto parsed = claim(file)) {
                m_claims.push_back(std::move(*parsed));
            }
        }
        std::sort(m_claims.begin(), m_claims.end(),
                  [](const Claim& a, const Claim& b) { return a.pid < b.pid; });
    }
    std::vector<AnnouncedDaemon> daemons;
    for (const Claim& claim : m_claims) {
        if (holds(claim, kernel)) {
            daemons.push_back({claim.pid, claim.url});
        }
    }
    return daemons;
}

} // namespace ombrix
