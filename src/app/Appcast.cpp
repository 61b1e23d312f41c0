#include "Appcast.h"

#include <QXmlStreamReader>

namespace ombrix {

namespace {

const QString sparkleNamespace =
    QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

template <typename Node> bool isSparkle(const Node& node, QLatin1StringView name) {
    return node.name() == name &&
           (node.namespaceUri() == sparkleNamespace || node.prefix() == QLatin1String("sparkle"));
}

QUrl parseLink(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.isRelative() ? url : QUrl();
}

// Feed texts end up in a dialog; a hostile or broken feed must not fill the screen.
QString elided(const QString& text, qsizetype limit = 80) {
    const QString simple = text.simplified();
    return simple.size() <= limit ? simple : simple.left(limit - 1) + QChar(0x2026);
}

struct ItemFields {
    QString title, link, version, shortVersion, enclosureUrl, enclosureVersion,
        enclosureShortVersion;

    AppcastItem finish() const {
        AppcastItem item;
        item.title = title.trimmed();
        const QString shortText =
            !shortVersion.trimmed().isEmpty() ? shortVersion : enclosureShortVersion;
        if (!version.trimmed().isEmpty()) {
            item.version = version.trimmed();
        } else if (!enclosureVersion.trimmed().isEmpty()) {
            item.version = enclosureVersion.trimmed();
        } else {
            item.version = shortText.trimmed();
        }
        item.displayVersion = shortText.trimmed().isEmpty() ? item.version : shortText.trimmed();
        item.link = parseLink(link);
        if (item.link.isEmpty()) {
            item.link = parseLink(enclosureUrl);
        }
        return item;
    }
};

void readEnclosure(const QXmlStreamReader& xml, ItemFields& fields) {
    for (const QXmlStreamAttribute& attribute : xml.attributes()) {
        if (attribute.name() == QLatin1String("url") && attribute.namespaceUri().isEmpty()) {
            fields.enclosureUrl = attribute.value().toString();
        } else if (isSparkle(attribute, QLatin1String("version"))) {
            fields.enclosureVersion = attribute.value().toString();
        } else if (isSparkle(attribute, QLatin1String("shortVersionString"))) {
            fields.enclosureShortVersion = attribute.value().toString();
        }
    }
}

// Reads one <item>; the reader stands on its start tag and is left on its end tag.
AppcastItem readItem(QXmlStreamReader& xml) {
    ItemFields fields;
    while (xml.readNextStartElement()) {
        const bool plain = xml.namespaceUri().isEmpty();
        if (plain && xml.name() == QLatin1String("title")) {
            fields.title = xml.readElementText(QXmlStreamReader::SkipChildElements);
        } else if (plain && xml.name() == QLatin1String("link")) {
            fields.link = xml.readElementText(QXmlStreamReader::SkipChildElements);
        } else if (isSparkle(xml, QLatin1String("version"))) {
            fields.version = xml.readElementText(QXmlStreamReader::SkipChildElements);
        } else if (isSparkle(xml, QLatin1String("shortVersionString"))) {
            fields.shortVersion = xml.readElementText(QXmlStreamReader::SkipChildElements);
        } else if (plain && xml.name() == QLatin1String("enclosure")) {
            readEnclosure(xml, fields);
            xml.skipCurrentElement();
        } else {
            xml.skipCurrentElement();
        }
    }
    return fields.finish();
}

// Digits with leading zeros dropped compare by length, then as text.
int compareComponent(const QString& a, const QString& b) {
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

} // namespace

Appcast parseAppcast(const QByteArray& xmlText) {
    Appcast feed;
    QXmlStreamReader xml(xmlText);
    if (!xml.readNextStartElement()) {
        feed.error = xml.hasError() ? xml.errorString() : QStringLiteral("the document is empty");
        return feed;
    }
    if (xml.name() != QLatin1String("rss")) {
        feed.error = QStringLiteral("the document is not an RSS feed");
        return feed;
    }
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("channel")) {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("item") && xml.namespaceUri().isEmpty()) {
                feed.items.append(readItem(xml));
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    // Reach the end so that trailing garbage is noticed too.
    while (!xml.atEnd()) {
        xml.readNext();
    }
    if (xml.hasError()) {
        feed.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        feed.items.clear();
        return feed;
    }
    feed.valid = true;
    return feed;
}

std::optional<QList<QString>> parseVersion(const QString& text) {
    QString body = text.trimmed();
    if (body.startsWith(QLatin1Char('v')) || body.startsWith(QLatin1Char('V'))) {
        body.remove(0, 1);
    }
    if (body.isEmpty() || body.at(0) < QLatin1Char('0') || body.at(0) > QLatin1Char('9')) {
        return std::nullopt;
    }
    QList<QString> components;
    for (const QString& part : body.split(QLatin1Char('.'))) {
        qsizetype digits = 0;
        while (digits < part.size() && part.at(digits) >= QLatin1Char('0') &&
               part.at(digits) <= QLatin1Char('9')) {
            ++digits;
        }
        QString number = part.left(digits);
        while (number.size() > 1 && number.startsWith(QLatin1Char('0'))) {
            number.remove(0, 1);
        }
        components.append(number.isEmpty() ? QStringLiteral("0") : number);
    }
    while (components.size() > 1 && components.last() == QLatin1String("0")) {
        components.removeLast();
    }
    return components;
}

int compareVersions(const QString& a, const QString& b) {
    const auto left = parseVersion(a);
    const auto right = parseVersion(b);
    if (!left || !right) {
        return int(bool(left)) - int(bool(right));
    }
    const qsizetype count = std::max(left->size(), right->size());
    const QString zero = QStringLiteral("0");
    for (qsizetype i = 0; i < count; ++i) {
        const int order = compareComponent(i < left->size() ? left->at(i) : zero,
                                           i < right->size() ? right->at(i) : zero);
        if (order != 0) {
            return order < 0 ? -1 : 1;
        }
    }
    return 0;
}

UpdateOutcome failedCheck(const QString& currentVersion, const QString& reason) {
    UpdateOutcome outcome;
    outcome.kind = UpdateOutcome::Kind::Failed;
    outcome.currentVersion = currentVersion;
    outcome.reason = reason;
    return outcome;
}

UpdateOutcome decide(const Appcast& feed, const QString& currentVersion) {
    if (!feed.valid) {
        return failedCheck(
            currentVersion,
            QStringLiteral("The update feed could not be read (%1).").arg(feed.error));
    }
    const AppcastItem* newest = nullptr;
    for (const AppcastItem& item : feed.items) {
        if (parseVersion(item.version) &&
            (!newest || compareVersions(item.version, newest->version) > 0)) {
            newest = &item;
        }
    }
    if (!newest) {
        return failedCheck(currentVersion,
                           feed.items.isEmpty()
                               ? QStringLiteral("The update feed lists no releases.")
                               : QStringLiteral("No release in the update feed has a version."));
    }
    if (!parseVersion(currentVersion)) {
        UpdateOutcome outcome = failedCheck(
            currentVersion, QStringLiteral("The running version is not a version number."));
        outcome.newest = *newest;
        return outcome;
    }
    UpdateOutcome outcome;
    outcome.currentVersion = currentVersion;
    outcome.newest = *newest;
    outcome.kind = compareVersions(newest->version, currentVersion) > 0
                       ? UpdateOutcome::Kind::UpdateAvailable
                       : UpdateOutcome::Kind::UpToDate;
    return outcome;
}

UpdateMessage describe(const UpdateOutcome& outcome, const QString& appName) {
    UpdateMessage message;
    switch (outcome.kind) {
    case UpdateOutcome::Kind::UpToDate:
        message.title = QStringLiteral("You're up to date");
        message.text = QStringLiteral("%1 %2 is the newest version available.")
                           .arg(appName, elided(outcome.currentVersion));
        break;
    case UpdateOutcome::Kind::UpdateAvailable: {
        message.title = QStringLiteral("A new version of %1 is available").arg(appName);
        message.text = QStringLiteral("%1 %2 is available; you have %3.")
                           .arg(appName, elided(outcome.newest.displayVersion),
                                elided(outcome.currentVersion));
        const QString scheme = outcome.newest.link.scheme().toLower();
        // Only web pages are offered: a feed must not make us open local files or run handlers.
        if (scheme == QLatin1String("https") || scheme == QLatin1String("http")) {
            message.link = outcome.newest.link;
        }
        break;
    }
    case UpdateOutcome::Kind::Failed:
        message.title = QStringLiteral("Update check failed");
        message.text = QStringLiteral("%1 could not check for updates.\n\n%2")
                           .arg(appName, elided(outcome.reason, 300));
        break;
    }
    return message;
}

} // namespace ombrix
