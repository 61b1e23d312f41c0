#include "MemoryColumn.h"

#include "MemoryRow.h"
#include "Typography.h"

#include <QVBoxLayout>

namespace ombrix {

MemoryColumn::MemoryColumn(int labelWidth, QWidget* parent)
    : QWidget(parent)
    , m_labelWidth(labelWidth) {
    setFont(Typography::font(TextStyle::Caption2));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->setSpacing(1);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

MemoryRow* MemoryColumn::addRow(const QString& label) {
    auto* row = new MemoryRow(label, QString(), m_labelWidth, this);
    layout()->addWidget(row);
    m_rows.append(row);
    return row;
}

} // namespace ombrix
