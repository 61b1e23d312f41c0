#include "ProcessDetailsWindow.h"

#include "Kernel.h"
#include "MonitorState.h"
#include "PathMaskSetting.h"
#include "ProcessRow.h"
#include "UsageGraph.h"

#include <QClipboard>
#include <QDateTime>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <thread>

namespace ombrix {

ProcessDetailsWindow::ProcessDetailsWindow(MonitorState& monitor, PathMaskSetting& hidePaths,
                                           const DartProcess& process, Readers readers,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_monitor(monitor)
    , m_hidePaths(hidePaths)
    , m_form(new QFormLayout)
    , m_command(new QPlainTextEdit)
    , m_graph(new UsageGraph)
    , m_end(new QPushButton) {
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

    // A detached thread: one held by a hung mount is left behind, and the
    // window, if it is gone by then, is simply not told.
    if (!readers.facts) {
        readers.facts = [](const DartProcess& p) {
            return ProcessFacts::read(platform::systemKernel(), p);
        };
    }
    if (!readers.sdkVersion) {
        readers.sdkVersion = &ProcessFacts::readSdkVersion;
    }
    QPointer<ProcessDetailsWindow> self(this);
    std::thread([self, readers, process] {
        ProcessFacts facts = readers.facts(process);
        const auto post = [self](const ProcessFacts& f, bool versionRead) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, f, versionRead] {
                    if (self) {
                        self->takeFacts(f, versionRead);
                    }
                },
                Qt::QueuedConnection);
        };
        post(facts, false);
        readers.sdkVersion(facts);
        post(facts, true);
    }).detach();
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
            int row = 0;
            for (const auto& [earlier, unused] : lines) {
                if (earlier == label) {
                    break;
                }
                row += m_values.contains(earlier) ? 1 : 0;
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
    // The monitor acts on the listed row of this pid: only while that is still this process.
    if (m_input.ended) {
        return;
    }
    if (m_input.process.ignoredTerminate) {
        m_monitor.forceQuit(m_input.process.id);
    } else {
        m_monitor.terminate(m_input.process.id);
    }
}

QString ProcessDetailsWindow::report() const {
    return DetailsText::report(m_input);
}

} // namespace ombrix
