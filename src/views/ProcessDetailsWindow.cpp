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
    if (m_values.size() != lines.size()) {
        while (m_form->rowCount() > 0) {
            m_form->removeRow(0);
        }
        m_values.clear();
        for (const auto& [label, value] : lines) {
            if (label == tr("Command line")) {
                m_form->addRow(label + ':', m_command);
                m_values.append(nullptr);
                continue;
            }
            auto* text = new QLabel;
            text->setTextFormat(Qt::PlainText);
            text->setWordWrap(true);
            text->setTextInteractionFlags(Qt::TextSelectableByMouse);
            m_form->addRow(label + ':', text);
            m_values.append(text);
        }
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (m_values[i] == nullptr) {
            if (m_command->toPlainText() != lines[i].second) {
                m_command->setPlainText(lines[i].second);
            }
        } else {
            m_values[i]->setText(lines[i].second);
            m_values[i]->setAccessibleName(lines[i].first + QStringLiteral(": ") + lines[i].second);
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
