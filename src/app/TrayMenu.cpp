#include "TrayMenu.h"

#include "EmptyState.h"
#include "Identification.h"
#include "Leftovers.h"
#include "OneLine.h"
#include "ValueText.h"

#include <QCoreApplication>
#include <QMenu>

namespace ombrix::TrayMenu {

namespace {

const QString dot = QStringLiteral(" \u00b7 ");
const QLatin1String processPrefix("process:");

QString tr(const char* text) {
    return QCoreApplication::translate("TrayMenu", text);
}

QString processLabel(const DartProcess& p) {
    QString label = OneLine::sanitised(p.name);
    if (p.projectPath) {
        label += dot + OneLine::sanitised(Identification::lastPathComponent(*p.projectPath));
    }
    label += dot + ValueText::bytes(p.memoryBytes);
    if (p.leftover) {
        label += dot + tr("Leftover");
    }
    if (p.duplicateOf) {
        label += dot + tr("Duplicate");
    }
    return label;
}

MenuEntry separator(const char* key) {
    return {QString::fromLatin1(key), {}, false, true};
}

} // namespace

QList<MenuEntry> entries(const QList<DartProcess>& processes) {
    QList<MenuEntry> out;
    qsizetype leftovers = 0;
    quint64 leftoverBytes = 0;
    for (const DartProcess& p : processes) {
        if (out.size() < processLimit) {
            out.append({processPrefix + QString::number(p.id) + u':' + QString::number(p.startTime),
                        processLabel(p)});
        }
        if (p.leftover) {
            ++leftovers;
            leftoverBytes += p.memoryBytes;
        }
    }
    if (processes.size() > processLimit) {
        out.append(
            {QLatin1String(moreKey), tr("%1 more\u2026").arg(processes.size() - processLimit)});
    }
    if (processes.isEmpty()) {
        out.append({QStringLiteral("none"), EmptyState::title(), false});
    }
    if (leftovers > 0) {
        out.append(separator("leftoverSeparator"));
        out.append(
            {QStringLiteral("leftovers"), Leftovers::summary(leftovers, leftoverBytes), false});
        out.append({QLatin1String(endLeftoversKey), tr("End Leftovers\u2026")});
    }
    out.append(separator("commandSeparator"));
    out.append({QLatin1String(openWindowKey), tr("Open Window")});
    out.append({QLatin1String(checkForUpdatesKey), tr("Check for Updates\u2026")});
    out.append(separator("quitSeparator"));
    out.append({QLatin1String(quitKey), tr("Quit")});
    return out;
}

std::optional<ProcessRef> processOf(const QString& key) {
    if (!key.startsWith(processPrefix)) {
        return std::nullopt;
    }
    const QStringList parts = key.mid(processPrefix.size()).split(u':');
    bool pidOk = false;
    bool startOk = false;
    const Pid pid = parts.value(0).toInt(&pidOk);
    const quint64 start = parts.value(1).toULongLong(&startOk);
    if (parts.size() != 2 || !pidOk || !startOk) {
        return std::nullopt;
    }
    return ProcessRef{pid, start};
}

void fill(QMenu& menu, const QList<MenuEntry>& entries,
          const std::function<void(const QString& key)>& chosen) {
    menu.clear();
    for (const MenuEntry& e : entries) {
        if (e.separator) {
            menu.addSeparator();
            continue;
        }
        // An ampersand in a name would otherwise mark an access key.
        QAction* action = menu.addAction(QString(e.label).replace(u'&', QLatin1String("&&")));
        action->setEnabled(e.enabled);
        QObject::connect(action, &QAction::triggered, &menu,
                         [chosen, key = e.key] { chosen(key); });
    }
}

} // namespace ombrix::TrayMenu
