// The remove command of the Scan panel.
#include "app/Form1.h"
#include "removal/QuarantineStore.h"
#include "removal/Removal.h"
#include "scanner/ScanSession.h"

#include <QGroupBox>
#include <QLineEdit>
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
    // Nor a restore or deletion in the quarantine it is filling.
    Frame4->setEnabled(false);
    // A report the scan could not write was told of already.
    const bool toldOfReport = m_session->report().writeFailed();
    // Everything goes into the quarantine, from where the Quarantine panel
    // puts it back or deletes it for good; without a usable quarantine
    // nothing is removed and the list stays.
    const std::unique_ptr<QuarantineStore> quarantine = openQuarantine(Text6, true);
    if (quarantine)
        RemoveListedDetections(*m_session, quarantine.get());
    Frame4->setEnabled(true);
    Command1->setEnabled(scanEnabled);
    Command6->setEnabled(true);
    Command7->setEnabled(updateEnabled);
    if (!toldOfReport)
        reportWriteFailure();
}
