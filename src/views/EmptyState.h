#pragma once

// What the list area shows while no process is listed: a "moon.zzz" symbol,
// "No Dart Processes" and a line saying what will appear, centred in all the
// height it is given.

#include <QWidget>

namespace ombrix {

class EmptyState : public QWidget {
    Q_OBJECT
public:
    explicit EmptyState(QWidget* parent = nullptr);

    static QString title();
    static QString description();
};

} // namespace ombrix
