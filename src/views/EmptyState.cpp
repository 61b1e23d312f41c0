#include "EmptyState.h"

#include "SymbolView.h"
#include "TextLine.h"
#include "Typography.h"

#include <QVBoxLayout>

namespace ombrix {

QString EmptyState::title() {
    return tr("No Dart Processes");
}

QString EmptyState::description() {
    return tr("Dart VMs, analyzers, and Flutter tools will appear here.");
}

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(6);
    layout->addStretch(1);
    auto* symbol = new SymbolView(QStringLiteral("moon.zzz"), ColorRole::Secondary, 34, this);
    symbol->setFixedSize(40, 40);
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    layout->addSpacing(4);
    auto* heading = new TextLine(title(), ColorRole::Primary, this);
    heading->setFont(Typography::font(TextStyle::Title3, QFont::Bold));
    heading->setAlignment(Qt::AlignCenter);
    heading->setObjectName(QStringLiteral("emptyTitle"));
    layout->addWidget(heading, 0, Qt::AlignHCenter);
    auto* text = new TextLine(description(), ColorRole::Secondary, this);
    text->setFont(Typography::font(TextStyle::Callout));
    text->setAlignment(Qt::AlignCenter);
    text->setObjectName(QStringLiteral("emptyDescription"));
    layout->addWidget(text, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

} // namespace ombrix
