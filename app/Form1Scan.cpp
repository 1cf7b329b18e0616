// The scan command of the Scan panel.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/ProgressBarIndicator.h"
#include "scanner/AllowListFile.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>

void Form1::Command1_Click()
{
    Command2->setEnabled(true);
    Command1->setEnabled(false);
    Image3->setEnabled(false);
    Command4->setEnabled(false);
    Command5->setEnabled(false);
    Command6->setEnabled(false);
    Command7->setEnabled(false);

    startSession();
    // Each scan follows the allow list as it is now.
    m_session->setAllowList(readAllowList(m_paths.writeFile(AllowListFile::fileName())));
    ScanRun run(*m_session);
    if (m_tickSource)
        run.setTickSource(m_tickSource);
    const QString summary = run.run(DriveRootPath(Drive1->currentText()), Check1->isChecked());

    Command2->setEnabled(false);
    Command1->setEnabled(true);
    Image3->setEnabled(true);
    Command5->setEnabled(true);
    Command7->setEnabled(true);
    Frame1->setEnabled(true);
    if (m_session->state().DetectionCount > 0)
        Command6->setEnabled(true);
    Text6->setText(summary);
    reportWriteFailure();
}

void Form1::reportWriteFailure()
{
    const ScanReport &report = m_session->report();
    if (!report.writeFailed())
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Torvakine"),
                    Lingua(ReportWriteFailedText) + QLatin1Char(' ') + report.failedPath(),
                    QMessageBox::Ok, this);
    box.exec();
}
