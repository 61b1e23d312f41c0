#include "ProcessDetailsWindow.h"

#include "AccessibleViews.h"
#include "MonitorState.h"
#include "PathMaskSetting.h"
#include "ProcessRow.h"
#include "UsageGraph.h"

#include <QClipboard>
#include <QDateTime>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ombrix {

ProcessDetailsWindow::ProcessDetailsWindow(MonitorState& monitor, PathMaskSetting& hidePaths,
                                           const DartProcess& process, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_monitor(monitor)
    , m_hidePaths(hidePaths)
    , m_form(new QFormLayout)
    , m_command(new QPlainTextEdit)
    , m_graph(new UsageGraph)
    , m_end(new QPushButton) {
    AccessibleViews::install();
    setObjectName(QStringLiteral("processDetails"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_input.process = process;
    setWindowTitle(DetailsText::title(process));

    auto* layout = new QVBoxLayout(this);
    m_form->setLabelAlignment(Qt::AlignRight);
    layout->addLayout(m_form);
    layout->addWidget(m_graph, 1);
    auto* buttons = new QHBoxLayout;
    auto* copy = new QPushButton(tr("Copy Details"));
    copy->setObjectName(QStringLiteral("copyDetails"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(report()); });
    m_end->setObjectName(QStringLiteral("end"));
    m_end->setAutoDefault(false);
    connect(m_end, &QPushButton::clicked, this, &ProcessDetailsWindow::endIt);
    buttons->addWidget(copy);
    buttons->addStretch(1);
    buttons->addWidget(m_end);
    layout->addLayout(buttons);

    m_command->setReadOnly(true);
    m_command->setObjectName(QStringLiteral("commandLine"));
    m_command->setWordWrapMode(QTextOption::WrapAnywhere);
    m_command->setFixedHeight(QFontMetrics(m_command->font()).lineSpacing() * 4 + 12);
    m_command->setAccessibleName(tr("Command line"));

    connect(&m_monitor, &MonitorState::historyChanged, this, &ProcessDetailsWindow::follow);
    connect(&m_hidePaths, &PathMaskSetting::changed, this, &ProcessDetailsWindow::refresh);
    follow();
    resize(640, 600);
}

void ProcessDetailsWindow::setReturnTo(QWidget* window) {
    m_returnTo = window != this ? window : nullptr;
}

void ProcessDetailsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ProcessDetailsWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    // Without a window manager to do it, the keyboard would be left nowhere.
    if (m_returnTo && m_returnTo->isVisible()) {
        m_returnTo->activateWindow();
    }
}

void ProcessDetailsWindow::takeFacts(const ProcessFacts& facts, bool versionRead) {
    m_input.facts = facts;
    m_input.versionRead = versionRead;
    refresh();
}

void ProcessDetailsWindow::follow() {
    if (!m_input.ended) {
        const ProcessRef ref = process();
        const auto row = std::find_if(
            m_monitor.processes().cbegin(), m_monitor.processes().cend(),
            [&](const DartProcess& p) { return p.id == ref.id && p.startTime == ref.startTime; });
        const UsageSeries* series = m_monitor.history().series(ref);
        if (row == m_monitor.processes().cend() || series == nullptr) {
            m_input.ended = true; // what it had stays
        } else {
            m_input.process = *row;
            m_input.points = series->points();
        }
    }
    refresh();
}

void ProcessDetailsWindow::refresh() {
    m_input.masked = m_hidePaths.hidden();
    m_input.nowUnixMs = QDateTime::currentMSecsSinceEpoch();
    const auto lines = DetailsText::facts(m_input);
    for (const auto& [label, value] : lines) {
        if (!m_values.contains(label)) {
            // Rows are added as facts first appear and only ever hidden, in the facts' order.
            QWidget* field = m_command;
            if (label != DetailsText::commandLabel()) {
                auto* text = new QLabel;
                text->setTextFormat(Qt::PlainText);
                text->setWordWrap(true);
                text->setTextInteractionFlags(Qt::TextSelectableByMouse);
                field = text;
            }
            // Right below the nearest earlier fact that has a row: counting
            // rows would miss those hidden now, which still take their place.
            int row = 0;
            for (const auto& [earlier, unused] : lines) {
                if (earlier == label) {
                    break;
                }
                if (QWidget* above = m_values.value(earlier)) {
                    int at = 0;
                    QFormLayout::ItemRole role{};
                    m_form->getWidgetPosition(above, &at, &role);
                    row = at + 1;
                }
            }
            m_form->insertRow(row, label + ':', field);
            m_values.insert(label, field);
        }
    }
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        const auto line = std::find_if(lines.cbegin(), lines.cend(),
                                       [&](const auto& l) { return l.first == it.key(); });
        m_form->setRowVisible(it.value(), line != lines.cend());
        if (line == lines.cend()) {
            continue;
        }
        if (auto* text = qobject_cast<QLabel*>(it.value())) {
            text->setText(line->second);
            text->setAccessibleName(line->first + QStringLiteral(": ") + line->second);
        } else if (m_command->toPlainText() != line->second) {
            m_command->setPlainText(line->second);
        }
    }
    m_graph->setPoints(m_input.points);
    const bool force = m_input.process.ignoredTerminate;
    m_end->setText(force ? tr("Force Quit") : tr("End Process"));
    m_end->setToolTip(force ? ProcessRow::tr(ProcessRow::forceQuitTip)
                            : ProcessRow::tr(ProcessRow::terminateName));
    m_end->setEnabled(!m_input.ended);
}

void ProcessDetailsWindow::endIt() {
    if (m_input.ended) {
        return;
    }
    if (m_input.process.ignoredTerminate) {
        m_monitor.forceQuit(process());
    } else {
        m_monitor.terminate(process());
    }
}

QString ProcessDetailsWindow::report() const {
    return DetailsText::report(m_input);
}

} // namespace ombrix
