#pragma once

// What assistive tools (AT-SPI on Linux) see of the views: texts as labels,
// the project link as a link with a press action, each row as a list item
// inside a list, a details window as a window. Names stay those the widgets set. Installed once per
// process; the views install it themselves.

namespace ombrix::AccessibleViews {

void install();

} // namespace ombrix::AccessibleViews
