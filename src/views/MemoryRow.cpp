#include "MemoryRow.h"

#include "TextLine.h"

#include <QHBoxLayout>

namespace ombrix {

MemoryRow::MemoryRow(const QString& label, const QString& value, int labelWidth, QWidget* parent)
    : QWidget(parent)
    , m_labelWidth(labelWidth)
    , m_label(new TextLine(label, ColorRole::Secondary, this))
    , m_value(new TextLine(value, ColorRole::Primary, this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    m_label->setFixedWidth(labelWidth);
    m_value->setFixedWidth(valueWidth);
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_value->setMonospacedDigits(true);
    layout->addWidget(m_label, 0, Qt::AlignVCenter);
    layout->addWidget(m_value, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void MemoryRow::setValue(const QString& value) {
    m_value->setText(value);
}

QString MemoryRow::label() const {
    return m_label->text();
}

QString MemoryRow::value() const {
    return m_value->text();
}

} // namespace ombrix
