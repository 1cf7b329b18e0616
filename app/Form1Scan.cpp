// The scan command of the Scan panel, its summary, the last report and the
// drive list.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/ProgressBarIndicator.h"
#include "platform/ShellOpen.h"
#include "scanner/AllowListFile.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTreeView>
#include <QUrl>

void Form1::Command1_Click()
{
    // A scan without a database it needs cannot find every threat: the user
    // is told which are missing before it starts, and its summary and
    // report say it was incomplete.
    const QStringList missing = missingDatabases(m_engine->tables(), Check1->isChecked());
    if (!missing.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Torvakine"),
                        Lingua(MissingDatabasesText) + QStringLiteral("\n\n") +
                            missing.join(QLatin1Char('\n')),
                        QMessageBox::Ok, this);
        box.exec();
    }

    Command2->setEnabled(true);
    Command1->setEnabled(false);
    Image3->setEnabled(false);
    Command4->setEnabled(false);
    Command5->setEnabled(false);
    Command6->setEnabled(false);
    Command7->setEnabled(false);
    OpenReport->setEnabled(false);

    startSession();
    // Each scan follows the allow list as it is now.
    m_session->setAllowList(readAllowList(m_paths.writeFile(AllowListFile::fileName())));
    ScanRun run(*m_session);
    if (m_tickSource)
        run.setTickSource(m_tickSource);
    const QString summary = run.run(DriveRootPath(currentDriveEntry()), Check1->isChecked());

    Command2->setEnabled(false);
    Command1->setEnabled(true);
    Image3->setEnabled(true);
    Command5->setEnabled(true);
    Command7->setEnabled(true);
    Frame1->setEnabled(true);
    if (m_session->state().DetectionCount > 0)
        Command6->setEnabled(true);
    showSummary(summary);
    updateOpenReport();
    reportWriteFailure();
}

void Form1::showSummary(const QString &text)
{
    Text6->setText(text);
    Text6->setToolTip(text);
    Text6->setAccessibleDescription(text.isEmpty() ? Lingua(SummaryText) : text);
}

void Form1::updateOpenReport()
{
    OpenReport->setEnabled(!m_session->state().ReportBaseName.isEmpty() &&
                           QFileInfo(m_session->reportPath()).isFile());
}

void Form1::openReport()
{
    const QString path = m_session->reportPath();
    if (QFileInfo(path).isFile() && m_shell->openUrl(QUrl::fromLocalFile(path)))
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Torvakine"),
                    Lingua(ReportOpenFailedText) + QLatin1Char(' ') + path, QMessageBox::Ok, this);
    box.exec();
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

void Form1::addDriveEntry(const QString &entry)
{
    Drive1->addItem(entry, entry);
    Drive1->setItemData(Drive1->count() - 1, entry, Qt::ToolTipRole);
    elideDriveEntries();
}

QString Form1::currentDriveEntry() const
{
    const QVariant whole = Drive1->currentData();
    return whole.isValid() ? whole.toString() : Drive1->currentText();
}

void Form1::elideDriveEntries()
{
    // A long mount path keeps its start and its label, losing its middle.
    QStyleOptionComboBox option;
    option.initFrom(Drive1);
    option.editable = Drive1->isEditable();
    const int width =
        Drive1->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, Drive1)
            .width() -
        4;
    const QFontMetrics metrics = Drive1->fontMetrics();
    for (int i = 0; i < Drive1->count(); ++i) {
        const QString whole = Drive1->itemData(i).toString();
        if (!whole.isEmpty())
            Drive1->setItemText(i, metrics.elidedText(whole, Qt::ElideMiddle, width));
    }
    Drive1->setToolTip(currentDriveEntry());
    Drive1->setAccessibleDescription(currentDriveEntry());
}
