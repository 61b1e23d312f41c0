#include "ProcessRow.h"

#include "DetailsText.h"
#include "GrowthRule.h"
#include "Kernel.h"
#include "PathLabel.h"
#include "RowColumns.h"
#include "SymbolButton.h"
#include "SymbolView.h"
#include "TextLine.h"
#include "Typography.h"
#include "UsageBar.h"
#include "ValueText.h"
#include "VisibleText.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <cmath>

namespace ombrix {

namespace {

QFont nameFont(bool compact) {
    return Typography::font(compact ? TextStyle::Caption : TextStyle::Body);
}
QFont detailFont(bool compact) {
    return Typography::font(compact ? TextStyle::Caption2 : TextStyle::Caption);
}
QFont cellFont(bool compact) {
    return Typography::monospacedDigits(
        Typography::font(compact ? TextStyle::Caption : TextStyle::Callout));
}
double lineHeight(const QFont& f) {
    return std::ceil(QFontMetricsF(f).height());
}

} // namespace

ProcessRow::ProcessRow(bool compact, QWidget* parent)
    : ProcessRequests(parent)
    , m_compact(compact)
    , m_home(QString::fromStdString(platform::systemKernel().homeDirectory()))
    , m_icon(new SymbolView(QStringLiteral("terminal.fill"), ColorRole::Teal,
                            QFontInfo(nameFont(compact)).pixelSize(), this))
    , m_pid(new TextLine(QString(), ColorRole::Secondary, this))
    , m_name(new TextLine(QString(), ColorRole::Primary, this))
    , m_executable(new TextLine(QString(), ColorRole::Tertiary, this))
    , m_leftover(new TextLine(tr(leftoverText), ColorRole::Orange, this))
    , m_growing(new TextLine(tr(growingText), ColorRole::Red, this))
    , m_duplicate(new TextLine(tr(duplicateText), ColorRole::Orange, this))
    , m_homeFolder(new TextLine(tr(homeFolderText), ColorRole::Orange, this))
    , m_path(new PathLabel(this))
    , m_cpuBar(new UsageBar(compact, this))
    , m_cpuText(new TextLine(QString(), ColorRole::Primary, this))
    , m_memoryBar(new UsageBar(compact, this))
    , m_memoryText(new TextLine(QString(), ColorRole::Secondary, this))
    , m_terminate(new SymbolButton(QStringLiteral("xmark.circle.fill"), ColorRole::Secondary,
                                   QFontInfo(nameFont(compact)).pixelSize(), this))
    , m_forceQuit(new SymbolButton(QStringLiteral("xmark.circle.fill"), ColorRole::Red,
                                   QFontInfo(nameFont(compact)).pixelSize(), this)) {
    // Stable names, so that tests and inspectors find each cell in the tree.
    m_pid->setObjectName(QStringLiteral("pid"));
    m_name->setObjectName(QStringLiteral("name"));
    m_executable->setObjectName(QStringLiteral("executable"));
    m_path->setObjectName(QStringLiteral("path"));
    m_cpuBar->setObjectName(QStringLiteral("cpuBar"));
    m_cpuText->setObjectName(QStringLiteral("cpu"));
    m_memoryBar->setObjectName(QStringLiteral("memoryBar"));
    m_memoryText->setObjectName(QStringLiteral("memory"));
    m_terminate->setObjectName(QStringLiteral("terminate"));
    m_leftover->setObjectName(QStringLiteral("leftover"));
    m_forceQuit->setObjectName(QStringLiteral("forceQuit"));
    setFont(cellFont(compact));
    m_pid->setFont(Typography::monospacedDigits(detailFont(compact)));
    m_pid->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_name->setFont(nameFont(compact));
    m_name->setElideMode(Qt::ElideMiddle);
    m_executable->setFont(detailFont(compact));
    m_executable->setElideMode(Qt::ElideMiddle);
    m_path->setFont(detailFont(compact));
    m_path->hide();
    m_terminate->setToolTip(tr(terminateName));
    m_terminate->setAccessibleName(tr(terminateName));
    m_leftover->setFont(
        Typography::font(compact ? TextStyle::Caption2 : TextStyle::Caption, QFont::DemiBold));
    m_leftover->setToolTip(tr(leftoverTip));
    m_leftover->hide();
    m_growing->setObjectName(QStringLiteral("growing"));
    m_growing->setFont(m_leftover->font());
    m_growing->hide();
    m_duplicate->setObjectName(QStringLiteral("duplicate"));
    m_duplicate->setFont(m_leftover->font());
    m_duplicate->hide();
    m_homeFolder->setObjectName(QStringLiteral("homeFolder"));
    m_homeFolder->setFont(m_leftover->font());
    m_homeFolder->setToolTip(DetailsText::homeFolderTip());
    m_homeFolder->hide();
    m_forceQuit->setToolTip(tr(forceQuitTip));
    m_forceQuit->setAccessibleName(tr(forceQuitName));
    m_forceQuit->hide();

    connect(m_terminate, &QAbstractButton::clicked, this,
            [this] { emit terminateRequested(ref()); });
    connect(m_forceQuit, &QAbstractButton::clicked, this,
            [this] { emit forceQuitRequested(ref()); });
    connect(m_path, &PathLabel::clicked, this, &ProcessRow::revealRequested);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
}

QList<QWidget*> ProcessRow::focusStops() const {
    // Tab passes over the hidden one.
    return {const_cast<ProcessRow*>(this), m_path, m_terminate, m_forceQuit};
}

void ProcessRow::showMenu(const QPoint& at) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("rowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const DartProcess p = m_process; // as it was when the menu opened
    const ProcessRef seen = ref();
    menu->addAction(tr("Details\u2026"), this, [this, seen] { emit detailsRequested(seen); });
    menu->addAction(tr("Copy Command Line"), this,
                    [p] { QGuiApplication::clipboard()->setText(visibleText(p.command)); });
    menu->addAction(tr("Copy PID"), this,
                    [p] { QGuiApplication::clipboard()->setText(QString::number(p.id)); });
    if (p.projectPath) {
        menu->addAction(tr("Reveal Project"), this,
                        [this, p] { emit revealRequested(*p.projectPath); });
    }
    menu->addSeparator();
    if (p.ignoredTerminate) {
        menu->addAction(tr("Force Quit"), this, [this, seen] { emit forceQuitRequested(seen); });
    } else {
        menu->addAction(tr("End Process"), this, [this, seen] { emit terminateRequested(seen); });
    }
    menu->popup(mapToGlobal(at));
}

void ProcessRow::contextMenuEvent(QContextMenuEvent* event) {
    // From the keyboard, under the row's start rather than wherever the pointer is.
    showMenu(event->reason() == QContextMenuEvent::Mouse ? event->pos()
                                                         : QPoint(m_name->x(), height() / 2));
}

void ProcessRow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        showMenu(QPoint(m_name->x(), height() / 2));
    } else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
               event->modifiers() == Qt::NoModifier) {
        emit detailsRequested(ref());
    } else {
        ProcessRequests::keyPressEvent(event);
    }
}

void ProcessRow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit detailsRequested(ref());
    }
}

void ProcessRow::paintEvent(QPaintEvent*) {
    if (!hasFocus()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor ring = palette().color(QPalette::Highlight);
    QColor fill = ring;
    fill.setAlphaF(0.15f);
    painter.setPen(QPen(ring, 2));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
}

void ProcessRow::focusInEvent(QFocusEvent* event) {
    ProcessRequests::focusInEvent(event);
    update();
}

void ProcessRow::focusOutEvent(QFocusEvent* event) {
    ProcessRequests::focusOutEvent(event);
    update();
}

int ProcessRow::rowHeight(bool compact) {
    return int(2 * verticalPadding + lineHeight(nameFont(compact)) + 1 +
               lineHeight(detailFont(compact)));
}

QSize ProcessRow::sizeHint() const {
    return {int(std::ceil(RowColumns::minimumWidth(m_compact))) + 2 * horizontalPadding,
            rowHeight(m_compact)};
}

QSize ProcessRow::minimumSizeHint() const {
    return sizeHint();
}

void ProcessRow::setProcess(const DartProcess& p, quint64 peakMemoryBytes, bool masked) {
    const bool detailChanged =
        p.projectPath != m_process.projectPath || p.workspace != m_process.workspace ||
        p.executableName != m_process.executableName || p.leftover != m_process.leftover ||
        p.growth.has_value() != m_process.growth.has_value() ||
        p.duplicateOf.has_value() != m_process.duplicateOf.has_value() ||
        p.homeFolder != m_process.homeFolder;
    m_process = p;
    m_masked = masked;

    m_pid->setText(QString::number(p.id));
    m_name->setText(p.name);
    setAccessibleName(DetailsText::title(p)); // what a screen reader says as it lands here
    m_name->setToolTip(p.command);
    m_executable->setText(p.executableName);
    m_leftover->setVisible(p.leftover);
    m_leftover->setToolTip(p.family ? tr(familyTip) : tr(leftoverTip));
    m_growing->setVisible(p.growth.has_value());
    if (p.growth) {
        m_growing->setToolTip(growingTip(*p.growth));
    }
    m_duplicate->setVisible(p.duplicateOf.has_value());
    if (p.duplicateOf) {
        m_duplicate->setToolTip(DetailsText::alsoAnalyzedBy(*p.duplicateOf));
    }
    m_homeFolder->setVisible(p.homeFolder);
    offerForceQuit(p.ignoredTerminate);

    if (p.projectPath) {
        m_path->setPath(PathLabel::Kind::Project, *p.projectPath, m_home);
        m_path->show();
    } else if (p.workspace) {
        m_path->setPath(PathLabel::Kind::Workspace, *p.workspace, m_home);
        m_path->show();
    } else {
        m_path->hide();
    }
    applyMask();

    m_cpuBar->setFraction(p.cpuPercent / 100.0);
    m_cpuText->setText(ValueText::cpu(p.cpuPercent));
    m_cpuText->setRole(isHighCpu(p.cpuPercent) ? ColorRole::Orange : ColorRole::Primary);

    m_memoryBar->setFraction(
        peakMemoryBytes == 0 ? 0.0 : double(p.memoryBytes) / double(peakMemoryBytes));
    m_memoryText->setText(ValueText::bytes(p.memoryBytes));

    if (detailChanged) {
        placeChildren();
    }
}

QString ProcessRow::growingTip(const Growth& growth) {
    return tr("Grew by %1 in %2")
        .arg(ValueText::bytes(growth.bytes), GrowthRule::span(growth.seconds));
}

void ProcessRow::offerForceQuit(bool offer) {
    QAbstractButton* shown = offer ? m_forceQuit : m_terminate;
    QAbstractButton* hidden = offer ? m_terminate : m_forceQuit;
    if (!shown->isHidden()) {
        return;
    }
    shown->show();
    // Hiding a focused button would pass the focus down the chain, to another
    // row's; it stays on this process's own button instead.
    if (hidden->hasFocus()) {
        shown->setFocus(Qt::OtherFocusReason);
    }
    hidden->hide();
}

void ProcessRow::setMasked(bool masked) {
    if (masked == m_masked) {
        return;
    }
    m_masked = masked;
    applyMask();
}

void ProcessRow::applyMask() {
    m_path->setMasked(m_masked);
    QString tip;
    if (!m_masked) {
        if (m_process.projectPath) {
            tip = *m_process.projectPath;
        } else if (m_process.workspace) {
            tip = QLatin1String(workspacePrefix) + *m_process.workspace;
        }
    }
    m_path->setToolTip(tip);
}

void ProcessRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeChildren();
}

void ProcessRow::placeChildren() {
    const bool c = m_compact;
    const double inner = width() - 2.0 * horizontalPadding;
    const RowColumns cols = RowColumns::layout(inner, c);
    const double x0 = horizontalPadding;
    const int h = height();

    m_icon->setGeometry(RowColumns::span(x0 + cols.iconX, RowColumns::iconWidth(c), 0, h));
    m_pid->setGeometry(RowColumns::span(x0 + cols.pidX, RowColumns::pidWidth(c), 0, h));

    // The name block: two lines, centred as a pair.
    const int nameH = int(lineHeight(m_name->font()));
    const int detailH = int(lineHeight(m_executable->font()));
    const int top = (h - (nameH + 1 + detailH)) / 2;
    const double nameX = x0 + cols.processX;
    m_name->setGeometry(RowColumns::span(nameX, cols.nameWidth, top, nameH));

    const int detailY = top + nameH + 1;
    // The markers keep their whole width; the executable name and the path share the rest.
    QList<std::pair<TextLine*, double>> marks;
    double markW = 0;
    for (TextLine* mark : {m_leftover, m_duplicate, m_homeFolder, m_growing}) {
        if (!mark->isHidden()) {
            const double w = qMin(std::ceil(mark->naturalWidth()),
                                  qMax(0.0, cols.nameWidth - markW - (markW > 0 ? 4 : 0)));
            marks.append({mark, w});
            markW += w + (markW > 0 ? 4 : 0);
        }
    }
    const double width = qMax(0.0, cols.nameWidth - (markW > 0 ? markW + 4 : 0.0));
    const double exeNatural = std::ceil(m_executable->naturalWidth());
    double exeW = qMin(exeNatural, width);
    if (!m_path->isHidden()) {
        const double pathNatural = m_path->sizeHint().width();
        const double room = qMax(0.0, width - 4);
        exeW = exeNatural;
        if (exeNatural + pathNatural > room) {
            exeW = qMin(exeNatural, qMax(room / 3, room - pathNatural));
        }
    }
    m_executable->setGeometry(RowColumns::span(nameX, exeW, detailY, detailH));
    double x = nameX + exeW;
    for (const auto& [mark, w] : marks) {
        mark->setGeometry(RowColumns::span(x + 4, w, detailY, detailH));
        x += 4 + w;
    }
    if (!m_path->isHidden()) {
        m_path->setGeometry(
            RowColumns::span(x + 4, qMax(0.0, nameX + cols.nameWidth - x - 4), detailY, detailH));
    }

    const QSizeF bar = UsageBar::barSize(c);
    const int barH = int(std::ceil(bar.height()));
    const int barY = (h - barH) / 2;
    const int barW = int(std::ceil(bar.width())); // painted at 43.5 / 53.5 from the left edge
    m_cpuBar->setGeometry(int(std::lround(x0 + cols.cpuX)), barY, barW, barH);
    const double cpuTextX = x0 + cols.cpuX + RowColumns::barWidth(c) + RowColumns::cellSpacing;
    m_cpuText->setGeometry(RowColumns::span(cpuTextX, RowColumns::cpuTextWidth(c), 0, h));
    m_memoryBar->setGeometry(int(std::lround(x0 + cols.memoryX)), barY, barW, barH);
    const double memTextX = x0 + cols.memoryX + RowColumns::barWidth(c) + RowColumns::cellSpacing;
    m_memoryText->setGeometry(RowColumns::span(memTextX, RowColumns::memoryTextWidth(c), 0, h));
    m_terminate->setGeometry(RowColumns::span(x0 + cols.actionX, RowColumns::actionWidth, 0, h));
    m_forceQuit->setGeometry(m_terminate->geometry());
}

} // namespace ombrix
