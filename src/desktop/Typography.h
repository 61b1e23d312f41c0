#pragma once

// The handful of text styles the views use, derived from the application font
// so that the user's font choice and scaling carry through. Sizes keep the
// ratios of the reference design, where body text is 13 pt:
//   body 13, callout 12, headline 13 semibold, title 3 15, caption 10, caption 2 10.

#include <QFont>

namespace ombrix {

enum class TextStyle { Body, Callout, Headline, Title3, Caption, Caption2 };

class Typography {
public:
    // `base` stands for body text; every other style is scaled from it.
    static QFont font(TextStyle style, const QFont& base);
    // Same, from the application font.
    static QFont font(TextStyle style);
    static QFont font(TextStyle style, QFont::Weight weight);

    // A font whose ten digits share one advance, so figures do not jitter from
    // sample to sample. Returns `font` itself when its digits are already
    // tabular; otherwise the system's fixed-pitch font at the same size and weight.
    static QFont monospacedDigits(const QFont& font);
    static bool hasTabularDigits(const QFont& font);

    // Reference size of a style in points (body = 13).
    static double referenceSize(TextStyle style);
};

} // namespace ombrix
