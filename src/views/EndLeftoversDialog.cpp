#include "EndLeftoversDialog.h"

#include "MonitorState.h"
#include "ProcessText.h"
#include "ValueText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ombrix {

EndLeftoversDialog::EndLeftoversDialog(MonitorState& monitor, const QList<DartProcess>& leftovers,
                                       const QString& home, bool masked, QWidget* parent)
    : QDialog(parent)
    , m_monitor(monitor) {
    setWindowTitle(tr("End Leftovers"));
    setObjectName(QStringLiteral("endLeftovers"));
    auto* layout = new QVBoxLayout(this);

    auto* intro = new QLabel(tr("These processes have lost their owner. Each gets SIGTERM, then "
                                "SIGKILL if it is still running 5 seconds later."));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* list = new QTreeWidget;
    list->setObjectName(QStringLiteral("leftovers"));
    list->setHeaderLabels({tr("Process"), tr("PID"), tr("Project"), tr("Memory")});
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    for (const DartProcess& p : leftovers) {
        m_targets.append({p.id, p.startTime});
        auto* item = new QTreeWidgetItem(list, {p.name, QString::number(p.id),
                                                ProcessText::place(p, home, masked).value_or(""),
                                                ValueText::bytes(p.memoryBytes)});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(0, p.command);
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(false);
    layout->addWidget(list, 1);

    auto* buttons = new QDialogButtonBox;
    QPushButton* end = buttons->addButton(tr("End Processes"), QDialogButtonBox::DestructiveRole);
    QPushButton* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    end->setObjectName(QStringLiteral("endProcesses"));
    end->setAutoDefault(false);
    cancel->setDefault(true);
    cancel->setFocus();
    connect(end, &QPushButton::clicked, this, [this] {
        m_monitor.endProcesses(m_targets);
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(480);
}

} // namespace ombrix
