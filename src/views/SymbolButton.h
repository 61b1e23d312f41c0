#pragma once

// A borderless button that is just a tinted symbol; a little stronger while hovered.

#include "SystemColors.h"

#include <QAbstractButton>

namespace ombrix {

class SymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    SymbolButton(const QString& symbol, ColorRole role, double side, QWidget* parent = nullptr);

    void setSymbol(const QString& symbol);
    const QString& symbol() const { return m_symbol; }
    ColorRole role() const { return m_role; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString m_symbol;
    ColorRole m_role;
    double m_side;
    bool m_hovered = false;
    bool m_keyboardFocus = false; // the ring is for keyboard users, not for the first window focus
};

} // namespace ombrix
