#pragma once

// A named symbol in a colour role, centred in its box; resolves the colour
// against the palette at paint time.

#include "SystemColors.h"

#include <QWidget>

namespace ombrix {

class SymbolView : public QWidget {
    Q_OBJECT
public:
    // `side`: the symbol's square size in points; the box may be larger.
    SymbolView(const QString& name, ColorRole role, double side, QWidget* parent = nullptr);

    void setName(const QString& name);
    const QString& name() const { return m_name; }
    ColorRole role() const { return m_role; }
    double side() const { return m_side; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    ColorRole m_role;
    double m_side;
};

} // namespace ombrix
