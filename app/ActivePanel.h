#pragma once

#include <QtGlobal>

// Which panel of the main window is open: 0 none, 1 Scan, 2 Updates.
struct PanelState {
    quint8 ActivePanel = 0;
};

PanelState &panelState();
