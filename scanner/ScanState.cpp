#include "scanner/ScanState.h"

ScanState &scanState()
{
    static ScanState state;
    return state;
}

void resetScanState()
{
    scanState() = ScanState{};
}
