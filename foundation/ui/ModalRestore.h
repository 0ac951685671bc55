#pragma once
// A modal window that the window manager minimises would lock the program: it blocks every
// other window and nothing brings it back. Some window managers (openbox) offer minimise on
// any window whatever its hints, so such a window is restored as soon as it is minimised.

#include <QWidget>

namespace vemra {

// While the window is modal, a minimising of it is undone at once.
void KeepRestoredWhileModal(QWidget* window);

}  // namespace vemra
