#include "ProcessListView.h"

#include "AccessibleViews.h"
#include "Analyzers.h"
#include "DetailsWindows.h"
#include "Divider.h"
#include "EmptyState.h"
#include "EndLeftoversDialog.h"
#include "FolderRevealer.h"
#include "Kernel.h"
#include "Leftovers.h"
#include "LinkButton.h"
#include "MemoryPanel.h"
#include "MonitorState.h"
#include "PathMaskSetting.h"
#include "ProcessList.h"
#include "SymbolButton.h"
#include "SymbolView.h"
#include "TextLine.h"
#include "Typography.h"
#include "ValueText.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace ombrix {

namespace {

QString toggleSymbol(bool hidden) {
    return hidden ? QStringLiteral("eye.slash") : QStringLiteral("eye");
}

QString toggleTip(bool hidden) {
    return hidden ? ProcessListView::tr("Show project paths")
                  : ProcessListView::tr("Hide project paths");
}

} // namespace

ProcessListView::ProcessListView(MonitorState& monitor, PathMaskSetting& hidePaths, bool compact,
                                 Actions actions, QWidget* parent)
    : QWidget(parent)
    , m_monitor(monitor)
    , m_hidePaths(hidePaths)
    , m_compact(compact)
    , m_actions(std::move(actions)) {
    AccessibleViews::install();
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(buildHeader());
    stack->addWidget(buildStatistics());
    stack->addWidget(buildLeftovers());
    stack->addWidget(buildDuplicates());
    stack->addWidget(new Divider(Qt::Horizontal));

    m_list = new ProcessList(compact);
    m_scroll = new QScrollArea;
    m_scroll->setWidget(m_list);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    m_empty = new EmptyState;
    m_body = new QStackedWidget;
    m_body->addWidget(m_scroll);
    m_body->addWidget(m_empty);
    stack->addWidget(m_body, 1);

    if (compact) {
        stack->addWidget(new Divider(Qt::Horizontal));
        stack->addWidget(buildFooter());
    }

    connect(m_list, &ProcessList::terminateRequested, this,
            [this](const ProcessRef& process) { m_monitor.terminate(process); });
    connect(m_list, &ProcessList::forceQuitRequested, this,
            [this](const ProcessRef& process) { m_monitor.forceQuit(process); });
    connect(m_list, &ProcessList::revealRequested, this, &ProcessListView::reveal);
    connect(m_list, &ProcessList::detailsRequested, this, [this](const ProcessRef& process) {
        DetailsWindows::of(m_monitor).open(process, m_hidePaths);
    });
    connect(&m_monitor, &MonitorState::processesChanged, this, &ProcessListView::refreshProcesses);
    connect(&m_monitor, &MonitorState::memoryChanged, this, &ProcessListView::refreshMemory);
    connect(&m_monitor, &MonitorState::pressureHistoryChanged, this,
            &ProcessListView::refreshMemory);
    connect(&m_hidePaths, &PathMaskSetting::changed, this, &ProcessListView::refreshMask);

    refreshMask();
    refreshMemory();
    refreshProcesses();
}

ProcessListView::~ProcessListView() {
    delete m_confirm; // top-level while the view is in a popup panel
}

QWidget* ProcessListView::buildHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    const int vertical = m_compact ? 8 : 10;
    row->setContentsMargins(12, vertical, 12, vertical);
    row->setSpacing(8);

    const QFont titleFont = m_compact ? Typography::font(TextStyle::Headline)
                                      : Typography::font(TextStyle::Title3, QFont::Bold);
    const double symbolSide = QFontInfo(titleFont).pixelSize() * 1.15;
    auto* chip = new SymbolView(QStringLiteral("memorychip"), ColorRole::Teal, symbolSide);
    row->addWidget(chip, 0, Qt::AlignVCenter);
    auto* title = new TextLine(tr("Dart Processes"), ColorRole::Primary);
    title->setFont(titleFont);
    title->setObjectName(QStringLiteral("title"));
    row->addWidget(title, 0, Qt::AlignVCenter);
    row->addStretch(1);
    if (!m_compact) {
        m_memoryPanel = new MemoryPanel;
        row->addWidget(m_memoryPanel, 0, Qt::AlignVCenter);
    }
    m_toggle = new SymbolButton(toggleSymbol(false), ColorRole::Secondary,
                                QFontInfo(Typography::font(TextStyle::Body)).pixelSize() * 1.2);
    m_toggle->setObjectName(QStringLiteral("pathToggle"));
    connect(m_toggle, &QAbstractButton::clicked, this, [this] { m_hidePaths.toggle(); });
    row->addWidget(m_toggle, 0, Qt::AlignVCenter);
    return header;
}

QWidget* ProcessListView::buildStatistics() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 0, 12, m_compact ? 8 : 10);
    row->setSpacing(m_compact ? 16 : 28);
    const QFont labelFont = Typography::font(TextStyle::Caption2);
    const QFont valueFont =
        Typography::monospacedDigits(m_compact ? Typography::font(TextStyle::Callout, QFont::Bold)
                                               : Typography::font(TextStyle::Title3, QFont::Bold));
    auto stat = [&](const QString& label, const char* name) {
        auto* box = new QWidget;
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(1);
        auto* caption = new TextLine(label, ColorRole::Secondary);
        caption->setFont(labelFont);
        auto* value = new TextLine(QString(), ColorRole::Primary);
        value->setFont(valueFont);
        value->setObjectName(QLatin1String(name));
        column->addWidget(caption, 0, Qt::AlignLeft);
        column->addWidget(value, 0, Qt::AlignLeft);
        row->addWidget(box, 0, Qt::AlignVCenter);
        return value;
    };
    // Shown as they are, not looked up as translations.
    m_processCount = stat(QStringLiteral("Processes"), "processCount");
    m_totalCpu = stat(QStringLiteral("Total CPU"), "totalCpu");
    m_totalMemory = stat(QStringLiteral("Total Memory"), "totalMemory");
    // Room for the usual figures from the start, so that the first digit a
    // total gains does not push its neighbours.
    const QFontMetricsF metrics(valueFont);
    auto room = [&](const char* widest) {
        return int(std::ceil(metrics.horizontalAdvance(QLatin1String(widest))));
    };
    m_processCount->setMinimumWidth(room("000"));
    m_totalCpu->setMinimumWidth(room("000.0%"));
    m_totalMemory->setMinimumWidth(room("1,000.0 MB"));
    row->addStretch(1);
    return bar;
}

QWidget* ProcessListView::buildLeftovers() {
    m_leftovers = new QWidget;
    m_leftovers->setObjectName(QStringLiteral("leftoverBar"));
    auto* row = new QHBoxLayout(m_leftovers);
    row->setContentsMargins(12, 0, 12, m_compact ? 8 : 10);
    row->setSpacing(8);
    m_leftoverSummary = new TextLine(QString(), ColorRole::Orange);
    m_leftoverSummary->setFont(Typography::monospacedDigits(
        Typography::font(m_compact ? TextStyle::Caption : TextStyle::Callout, QFont::DemiBold)));
    m_leftoverSummary->setObjectName(QStringLiteral("leftoverSummary"));
    row->addWidget(m_leftoverSummary, 0, Qt::AlignVCenter);
    row->addStretch(1);
    auto* end = new QPushButton(tr("End Leftovers\u2026"));
    end->setObjectName(QStringLiteral("endLeftovers"));
    end->setFont(Typography::font(m_compact ? TextStyle::Caption : TextStyle::Callout));
    end->setAutoDefault(false);
    connect(end, &QPushButton::clicked, this, &ProcessListView::confirmEndLeftovers);
    row->addWidget(end, 0, Qt::AlignVCenter);
    m_leftovers->hide();
    return m_leftovers;
}

QWidget* ProcessListView::buildDuplicates() {
    m_duplicates = new QWidget;
    m_duplicates->setObjectName(QStringLiteral("duplicateBar"));
    auto* lines = new QVBoxLayout(m_duplicates);
    lines->setContentsMargins(12, 0, 12, m_compact ? 8 : 10);
    lines->setSpacing(2);
    m_duplicates->hide();
    return m_duplicates;
}

void ProcessListView::refreshDuplicates() {
    const QStringList groups = Analyzers::groupLines(m_monitor.processes());
    while (m_duplicateLines.size() < groups.size()) {
        auto* line = new TextLine(QString(), ColorRole::Orange);
        line->setFont(m_leftoverSummary->font());
        line->setObjectName(QStringLiteral("duplicateSummary"));
        m_duplicates->layout()->addWidget(line);
        m_duplicateLines.append(line);
    }
    while (m_duplicateLines.size() > groups.size()) {
        delete m_duplicateLines.takeLast();
    }
    for (qsizetype i = 0; i < groups.size(); ++i) {
        m_duplicateLines[i]->setText(groups[i]);
    }
    m_duplicates->setVisible(!groups.isEmpty());
}

void ProcessListView::confirmEndLeftovers() {
    if (m_confirm) {
        m_confirm->raise();
        m_confirm->activateWindow();
        return;
    }
    QList<DartProcess> leftovers;
    for (const DartProcess& p : m_monitor.processes()) {
        if (p.leftover) {
            leftovers.append(p);
        }
    }
    if (leftovers.isEmpty()) {
        return;
    }
    // A popup panel closes when the dialog takes the focus: the dialog stands alone then.
    QWidget* owner = window()->windowType() == Qt::Popup ? nullptr : window();
    m_confirm = new EndLeftoversDialog(
        m_monitor, leftovers, QString::fromStdString(platform::systemKernel().homeDirectory()),
        m_hidePaths.hidden(), owner);
    m_confirm->setAttribute(Qt::WA_DeleteOnClose);
    m_confirm->setWindowModality(owner ? Qt::WindowModal : Qt::NonModal);
    m_confirm->show();
    m_confirm->raise();
    m_confirm->activateWindow();
}

QWidget* ProcessListView::buildFooter() {
    auto* footer = new QWidget;
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(8);
    const QFont linkFont = Typography::font(TextStyle::Caption);
    auto link = [&](const QString& text, const std::function<void()>& action) {
        auto* button = new LinkButton(text);
        button->setFont(linkFont);
        button->setObjectName(text);
        connect(button, &QAbstractButton::clicked, this, [action] {
            if (action) {
                action();
            }
        });
        return button;
    };
    row->addWidget(link(tr("Open Window"), m_actions.openWindow));
    row->addStretch(1);
    row->addWidget(link(tr("Check for Updates"), m_actions.checkForUpdates));
    row->addStretch(1);
    row->addWidget(link(tr("Quit"), m_actions.quit));
    return footer;
}

void ProcessListView::refreshProcesses() {
    const QList<DartProcess>& processes = m_monitor.processes();
    double cpu = 0;
    for (const DartProcess& p : processes) {
        cpu += p.cpuPercent;
    }
    setFigure(m_processCount, QString::number(processes.size()));
    setFigure(m_totalCpu, ValueText::cpu(cpu));
    setFigure(m_totalMemory, ValueText::bytes(m_monitor.totalMemoryBytes()));
    const qsizetype leftovers = m_monitor.leftoverCount();
    if (leftovers > 0) {
        m_leftoverSummary->setText(Leftovers::summary(leftovers, m_monitor.leftoverBytes()));
    }
    m_leftovers->setVisible(leftovers > 0);
    refreshDuplicates();

    m_list->setProcesses(processes, m_monitor.peakMemoryBytes(), m_hidePaths.hidden());
    m_body->setCurrentWidget(processes.isEmpty() ? static_cast<QWidget*>(m_empty) : m_scroll);
    // The list's new height reaches a scroll area only while it is visible; one
    // that was behind the empty state would keep its old size and clip the rows.
    QEvent relayout(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(m_scroll, &relayout);
}

void ProcessListView::setFigure(TextLine* value, const QString& text) {
    value->setText(text);
    // A figure's box only ever grows: a shorter text leaves its neighbours in place.
    value->setMinimumWidth(qMax(value->minimumWidth(), value->sizeHint().width()));
}

void ProcessListView::refreshMemory() {
    if (!m_memoryPanel) {
        return;
    }
    m_memoryPanel->setMemory(m_monitor.memory());
    m_memoryPanel->setHistory(m_monitor.pressureHistory());
}

void ProcessListView::refreshMask() {
    const bool hidden = m_hidePaths.hidden();
    auto* toggle = static_cast<SymbolButton*>(m_toggle);
    toggle->setSymbol(toggleSymbol(hidden));
    toggle->setToolTip(toggleTip(hidden));
    toggle->setAccessibleName(toggleTip(hidden));
    m_list->setMasked(hidden);
}

bool ProcessListView::showProcess(const ProcessRef& process) {
    const QList<DartProcess>& listed = m_monitor.processes();
    const bool same = std::any_of(listed.begin(), listed.end(), [&](const DartProcess& p) {
        return p.id == process.id && p.startTime == process.startTime;
    });
    QWidget* row = same ? m_list->rowOf(process.id) : nullptr;
    if (row == nullptr) {
        return false;
    }
    m_scroll->ensureWidgetVisible(row, 0, 0);
    row->setFocus(Qt::OtherFocusReason);
    return true;
}

void ProcessListView::setRevealHandler(std::function<void(const QString&)> handler) {
    m_revealHandler = std::move(handler);
}

void ProcessListView::reveal(const QString& path) {
    if (m_revealHandler) {
        m_revealHandler(path);
        return;
    }
    if (!m_revealer) {
        m_revealer = new FolderRevealer(this);
    }
    m_revealer->reveal(path);
}

} // namespace ombrix
