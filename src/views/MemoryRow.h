#pragma once

// One label-and-figure line of the memory panel: the label in a box exactly
// `labelWidth` wide, then the figure right-aligned in a box exactly 58 wide,
// so the panel's width never follows its figures. The text style comes from
// the enclosing column.

#include <QWidget>

namespace ombrix {

class TextLine;

class MemoryRow : public QWidget {
    Q_OBJECT
public:
    // The label width a row gets when no column hands it one.
    static constexpr int defaultLabelWidth = 90;
    static constexpr int valueWidth = 58;
    static constexpr int spacing = 8;

    MemoryRow(const QString& label, const QString& value, int labelWidth = defaultLabelWidth,
              QWidget* parent = nullptr);

    void setValue(const QString& value);
    QString label() const;
    QString value() const;
    int labelWidth() const { return m_labelWidth; }

private:
    int m_labelWidth;
    TextLine* m_label;
    TextLine* m_value;
};

} // namespace ombrix
