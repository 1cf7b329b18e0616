#pragma once

class QWidget;

// Moves the top-level window so that it stands in the middle of the
// available area of its screen (the primary screen when it has none yet).
// Call it before the window is shown.
void centreOnScreen(QWidget &window);
