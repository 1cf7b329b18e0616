#include "app/ActivePanel.h"

PanelState &panelState()
{
    static PanelState state;
    return state;
}
