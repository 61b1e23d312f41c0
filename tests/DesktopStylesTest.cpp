#include "PathMaskSetting.h"
#include "Symbols.h"
#include "SystemColors.h"
#include "Typography.h"

#include <QApplication>
#include <QImage>
#include <QSettings>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace ombrix {
namespace {

TEST(Symbols, EveryNameDrawsInTheRequestedColourOnly) {
    ASSERT_EQ(Symbols::names().size(), 8);
    const QColor tint(10, 200, 30);
    for (const QString& name : Symbols::names()) {
        SCOPED_TRACE(name.toStdString());
        const QImage image = Symbols::pixmap(name, {16, 16}, tint, 2.0).toImage();
        ASSERT_EQ(image.size(), QSize(32, 32));
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 255) {
                    ++opaque;
                    EXPECT_EQ(c.rgb(), tint.rgb());
                }
            }
        }
        EXPECT_GT(opaque, 20);
    }
    EXPECT_TRUE(Symbols::pixmap(QStringLiteral("no.such.symbol"), {16, 16}, tint).isNull());
    EXPECT_FALSE(Symbols::appIcon().pixmap(64).isNull());
}

// What a reader sees: the styles keep one order of prominence, grow and shrink
// with the desktop's text size in proportion, and only the headline is heavier.
TEST(Typography, StylesFollowTheDesktopSizeInOneOrder) {
    const TextStyle styles[] = {TextStyle::Body,   TextStyle::Callout, TextStyle::Headline,
                                TextStyle::Title3, TextStyle::Caption, TextStyle::Caption2};
    const auto size = [](TextStyle style, double body) {
        QFont base;
        base.setPointSizeF(body);
        return Typography::font(style, base).pointSizeF();
    };
    for (const double body : {9.0, 13.0, 20.0}) {
        SCOPED_TRACE(body);
        EXPECT_DOUBLE_EQ(size(TextStyle::Body, body), body);
        EXPECT_DOUBLE_EQ(size(TextStyle::Headline, body), body);
        EXPECT_GT(size(TextStyle::Title3, body), body);
        EXPECT_LT(size(TextStyle::Callout, body), body);
        EXPECT_LT(size(TextStyle::Caption, body), size(TextStyle::Callout, body));
        EXPECT_DOUBLE_EQ(size(TextStyle::Caption2, body), size(TextStyle::Caption, body));
        for (const TextStyle style : styles) {
            EXPECT_DOUBLE_EQ(size(style, body) / body, size(style, 13) / 13) << int(style);
        }
    }
    for (const TextStyle style : styles) {
        EXPECT_EQ(Typography::font(style, QFont()).weight() == QFont::DemiBold,
                  style == TextStyle::Headline)
            << int(style);
    }
}

TEST(Typography, MonospacedDigitsHaveOneAdvance) {
    const QFont f = Typography::monospacedDigits(Typography::font(TextStyle::Title3, QFont::Bold));
    EXPECT_TRUE(Typography::hasTabularDigits(f));
}

TEST(SystemColors, VariantFollowsTheWindowPalette) {
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, Qt::black);
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, Qt::white);
    EXPECT_FALSE(SystemColors::isDark(light));
    EXPECT_TRUE(SystemColors::isDark(dark));
    EXPECT_NE(SystemColors::color(ColorRole::Teal, light),
              SystemColors::color(ColorRole::Teal, dark));
    // Foreground levels are the text colour, ever fainter.
    const QColor primary = SystemColors::color(ColorRole::Primary, dark);
    const QColor secondary = SystemColors::color(ColorRole::Secondary, dark);
    const QColor tertiary = SystemColors::color(ColorRole::Tertiary, dark);
    EXPECT_EQ(primary.rgb(), QColor(Qt::white).rgb());
    EXPECT_GT(primary.alphaF(), secondary.alphaF());
    EXPECT_GT(secondary.alphaF(), tertiary.alphaF());
    EXPECT_NEAR(SystemColors::color(ColorRole::Secondary, dark, 0.2).alphaF(),
                secondary.alphaF() * 0.2, 0.01);
}

TEST(PathMaskSetting, DefaultsToShownAndPersists) {
    QSettings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix")).clear();
    {
        PathMaskSetting setting;
        EXPECT_FALSE(setting.hidden());
        QSignalSpy changed(&setting, &PathMaskSetting::changed);
        setting.toggle();
        setting.setHidden(true); // unchanged: no second signal
        EXPECT_EQ(changed.size(), 1);
    }
    PathMaskSetting restarted;
    EXPECT_TRUE(restarted.hidden());
    EXPECT_TRUE(QSettings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix"))
                    .value(QStringLiteral("hideProjectPaths"))
                    .toBool());
    restarted.setHidden(false);
    EXPECT_FALSE(PathMaskSetting().hidden());
}

} // namespace
} // namespace ombrix
