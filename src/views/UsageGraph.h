#pragma once

// A process's memory (filled, teal) and CPU (line, orange) over its kept
// history, oldest at the left, with a time axis under it ("-N min" … "now")
// and the highest memory at the top left. A pure function of its points.

#include "UsageHistory.h"

#include <QWidget>
#include <vector>

namespace ombrix {

class UsageGraph : public QWidget {
    Q_OBJECT
public:
    explicit UsageGraph(QWidget* parent = nullptr);

    void setPoints(std::vector<UsagePoint> points);
    // "Memory from 1.2 GB to 1.5 GB over the last 12 min"; "No samples yet".
    static QString accessibleText(const std::vector<UsagePoint>& points);

    QSize sizeHint() const override { return {520, 180}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<UsagePoint> m_points;
};

} // namespace ombrix
