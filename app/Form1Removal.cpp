// The remove command of the Scan panel.
#include "app/Form1.h"
#include "removal/Removal.h"
#include "scanner/ScanSession.h"

#include <QPushButton>

void Form1::Command6_Click()
{
    // The rows must stay in place until the removal ends: no scan, second
    // removal or update may start in between.
    const bool scanEnabled = Command1->isEnabled();
    const bool updateEnabled = Command7->isEnabled();
    Command1->setEnabled(false);
    Command6->setEnabled(false);
    Command7->setEnabled(false);
    RemoveListedDetections(*m_session);
    Command1->setEnabled(scanEnabled);
    Command6->setEnabled(true);
    Command7->setEnabled(updateEnabled);
}
