// Text helpers of the rules: path components, blanks, word capitalisation.

#include "Identification.h"
#include "IdentificationDetail.h"

#include <QChar>

namespace ombrix {

using namespace Identification::detail;

namespace {

// --- capitalisation ----------------------------------------------------------

bool isCaseIgnorable(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
    case QChar::Letter_Modifier:
    case QChar::Symbol_Modifier:
        return true;
    default:
        break;
    }
    // Word_Break MidLetter, MidNumLet and Single_Quote.
    switch (c) {
    case 0x0027:
    case 0x002E:
    case 0x003A:
    case 0x00B7:
    case 0x0387:
    case 0x055F:
    case 0x05F4:
    case 0x2018:
    case 0x2019:
    case 0x2024:
    case 0x2027:
    case 0xFE13:
    case 0xFE52:
    case 0xFE55:
    case 0xFF07:
    case 0xFF0E:
    case 0xFF1A:
        return true;
    default:
        return false;
    }
}

bool isCased(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
        return true;
    default:
        break;
    }
    // Other_Lowercase / Other_Uppercase: most have a case partner (circled
    // letters, Roman numerals); the ordinal indicators do not.
    return c == 0x00AA || c == 0x00BA || QChar::toLower(c) != c || QChar::toUpper(c) != c ||
           QChar::toTitleCase(c) != c;
}

QString titleCased(const QString& character, char32_t c) {
    const char32_t title = QChar::toTitleCase(c);
    if (title != QChar::toUpper(c)) {
        return QString::fromUcs4(&title, 1); // digraphs such as U+01C6
    }
    // Full mapping, but only the first letter stays capital: "ß" gives "Ss".
    const QString upper = character.toUpper();
    const qsizetype head = upper.size() > 1 && upper[0].isHighSurrogate() ? 2 : 1;
    if (upper.size() <= head) {
        return upper;
    }
    return upper.first(head) + upper.sliced(head).toLower();
}

} // namespace

QString Identification::lastPathComponent(const QString& path) {
    // "/" (and "//") keep their root, as the platform path helpers do.
    const QString trimmed = stripTrailingSlashes(path);
    if (trimmed == u"/") {
        return trimmed;
    }
    return trimmed.sliced(trimmed.lastIndexOf(u'/') + 1);
}

QStringView Identification::trimmedBlanks(QStringView text) {
    const auto isBlank = [](QChar c) {
        return c == u'\t' || c.category() == QChar::Separator_Space;
    };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

QString Identification::capitalized(const QString& text) {
    QString result;
    result.reserve(text.size());
    bool afterCased = false;
    for (qsizetype i = 0; i < text.size();) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const qsizetype width = pair ? 2 : 1;
        const char32_t c =
            pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : char32_t(text[i].unicode());
        const QString character = text.sliced(i, width);
        i += width;

        if (isCased(c)) {
            result += afterCased ? character.toLower() : titleCased(character, c);
        } else {
            result += character;
        }
        if (!isCaseIgnorable(c)) {
            afterCased = isCased(c);
        }
    }
    return result;
}

} // namespace ombrix
