// Boxes open over the window they belong to. Window managers place a dialog wherever their
// policy says unless the program names a place, so a box is moved over the middle of its window
// when it is shown and whenever its size changes (a notice that counts its repeats grows), kept
// on the window's screen.
#pragma once

class QWidget;

// From now on, for the life of `box`; does nothing without a window.
void CentreOverWindow(QWidget* box, QWidget* window);
