#pragma once

// Shows the outcome of an update check in a small non-modal dialog: up to
// date, a newer version (with a button that opens its page) or the failure
// and its reason. A new outcome replaces a dialog that is still open.

#include "Appcast.h"

class QMessageBox;

namespace ombrix {

// The dialog now on screen, or null.
QMessageBox* presentUpdateOutcome(const UpdateOutcome& outcome);

} // namespace ombrix
