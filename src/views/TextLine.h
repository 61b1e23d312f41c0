#pragma once

// One line of text in one of the system foreground colours: never wraps,
// elides when narrow, and can be masked, in which case a neutral bar the width
// of the text is drawn instead and the text is kept out of the accessible name.
//
// Hostile input is expected (names and paths of any length, control
// characters, mixed directions): line breaks and tabs show as spaces, and only
// a bounded head and tail of a very long text are ever measured or shaped.

#include "SystemColors.h"

#include <QFont>
#include <QWidget>

namespace ombrix {

class TextLine : public QWidget {
    Q_OBJECT
public:
    explicit TextLine(QWidget* parent = nullptr);
    TextLine(const QString& text, ColorRole role, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return m_text; }

    void setRole(ColorRole role);
    ColorRole role() const { return m_role; }
    // Overrides the role with a fixed colour; an invalid colour clears it.
    void setColor(const QColor& color);
    QColor effectiveColor() const;

    void setAlignment(Qt::Alignment alignment);
    Qt::Alignment alignment() const { return m_alignment; }
    void setElideMode(Qt::TextElideMode mode);
    void setMonospacedDigits(bool on);

    void setMasked(bool masked);
    bool isMasked() const { return m_masked; }

    // The text as it would be painted in `width` (empty while masked).
    QString displayedText(int width) const;
    // The advance of the whole (bounded) text.
    double naturalWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Widest size hint any text line reports, so one long name cannot stretch a window.
    static constexpr int maxHintWidth = 640;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void textChanged();
    QFont effectiveFont() const;

    QString m_text;
    QString m_shown; // sanitised and bounded
    ColorRole m_role = ColorRole::Primary;
    QColor m_color;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    Qt::TextElideMode m_elide = Qt::ElideRight;
    bool m_monoDigits = false;
    bool m_masked = false;
    mutable double m_natural = -1;
};

} // namespace ombrix
