#pragma once

// The pure half of the update check: reading an appcast (an RSS 2.0 feed whose
// items carry Sparkle version tags), comparing dotted versions and deciding
// what to tell the user. No network, no widgets.

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

namespace ombrix {

struct AppcastItem {
    QString title;
    QString version;        // what is compared: sparkle:version, else the short version
    QString displayVersion; // what the user reads: the short version, else `version`
    QUrl link;              // <link>, else the enclosure url; may be empty
};

struct Appcast {
    bool valid = false; // false: not XML, or not an RSS feed
    QString error;      // why, when !valid
    QList<AppcastItem> items;
};

// Items without any version are kept (with an empty version); choosing among
// them is decide()'s business. Never throws; any input gives a result.
Appcast parseAppcast(const QByteArray& xml);

// A dotted version reduced to its numeric components, or nothing when the text
// has no leading number ("", "beta", "-1"). A leading "v" is allowed; each
// component counts its leading digits only ("2rc1" is 2, "x" is 0); missing
// trailing components are zero, so "1.0" equals "1.0.0". Components may have
// any number of digits: no overflow.
std::optional<QList<QString>> parseVersion(const QString& text);
// <0, 0 or >0 as `a` is older than, equal to or newer than `b`; an unreadable
// version is older than every readable one and equal to another unreadable one.
int compareVersions(const QString& a, const QString& b);

struct UpdateOutcome {
    enum class Kind { UpToDate, UpdateAvailable, Failed };
    Kind kind = Kind::Failed;
    QString currentVersion;
    AppcastItem newest; // the newest readable item; filled unless the feed held none
    QString reason;     // why the check failed
};

// The newest readable item against the running version. A feed that is
// invalid, empty, or lists no readable version is a failed check: it proves
// nothing about being up to date.
UpdateOutcome decide(const Appcast& feed, const QString& currentVersion);
UpdateOutcome failedCheck(const QString& currentVersion, const QString& reason);

// The dialog's words, as plain text (feed texts are never interpreted as markup).
struct UpdateMessage {
    QString title;
    QString text;
    QUrl link; // set only for an available update with an http(s) link
};
UpdateMessage describe(const UpdateOutcome& outcome, const QString& appName);

} // namespace ombrix
