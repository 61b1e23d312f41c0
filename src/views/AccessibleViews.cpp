#include "AccessibleViews.h"

#include "PathLabel.h"
#include "ProcessDetailsWindow.h"
#include "ProcessList.h"
#include "ProcessRow.h"
#include "TextLine.h"

#include <QAccessibleWidget>
#include <QMenu>

namespace ombrix::AccessibleViews {

namespace {

class AccessiblePath : public QAccessibleWidget {
public:
    explicit AccessiblePath(PathLabel* label)
        : QAccessibleWidget(label,
                            label->isClickable() ? QAccessible::Link : QAccessible::StaticText) {}

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (label() != nullptr && label()->isClickable()) {
            names.prepend(pressAction());
        }
        return names;
    }

    void doAction(const QString& action) override {
        if (action == pressAction() && label() != nullptr) {
            label()->activate();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    PathLabel* label() const { return qobject_cast<PathLabel*>(object()); }
};

// A row offers its context menu, as a screen reader's "show menu" command
// asks, and holds it while it is open: a popup is no top-level of the
// application, so the tree would not reach its entries otherwise.
class AccessibleRow : public QAccessibleWidget {
public:
    explicit AccessibleRow(ProcessRow* row)
        : QAccessibleWidget(row, QAccessible::ListItem) {}

    int childCount() const override { return QAccessibleWidget::childCount() + (menu() ? 1 : 0); }

    QAccessibleInterface* child(int index) const override {
        if (QMenu* open = menu(); open && index == QAccessibleWidget::childCount()) {
            return QAccessible::queryAccessibleInterface(open);
        }
        return QAccessibleWidget::child(index);
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (QMenu* open = menu(); open && child && child->object() == open) {
            return QAccessibleWidget::childCount();
        }
        return QAccessibleWidget::indexOfChild(child);
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        auto* row = qobject_cast<ProcessRow*>(object());
        if (action == showMenuAction() && row != nullptr) {
            row->showMenu(QPoint(0, row->height() / 2));
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QMenu* menu() const {
        auto* open = object()->findChild<QMenu*>(QString(), Qt::FindDirectChildrenOnly);
        return open && open->isVisible() ? open : nullptr;
    }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    // Matched by cast, not by the class name Qt passes: a widget halfway
    // through its destructor has lost its class and gets Qt's generic
    // interface, never one of ours that would cast it.
    if (auto* path = qobject_cast<PathLabel*>(object)) {
        return new AccessiblePath(path);
    }
    if (auto* text = qobject_cast<TextLine*>(object)) {
        return new QAccessibleWidget(text, QAccessible::StaticText);
    }
    if (auto* row = qobject_cast<ProcessRow*>(object)) {
        return new AccessibleRow(row);
    }
    if (auto* list = qobject_cast<ProcessList*>(object)) {
        return new QAccessibleWidget(list, QAccessible::List);
    }
    // A plain top-level widget reads as a filler, which screen readers do not
    // announce when it opens.
    if (auto* details = qobject_cast<ProcessDetailsWindow*>(object)) {
        return new QAccessibleWidget(details, QAccessible::Window);
    }
    return nullptr;
}

} // namespace

void install() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

} // namespace ombrix::AccessibleViews
