#pragma once

// The one text of each kind of figure, shared by the views and the dump.

#include <QString>
#include <QtGlobal>

namespace ombrix::ValueText {

// Percent of one core with one decimal: 5 -> "5.0%".
QString cpu(double percent);

// A byte count as platform::formatByteCount writes it; a count past its signed
// range is clamped rather than turned negative.
QString bytes(quint64 count);

} // namespace ombrix::ValueText
