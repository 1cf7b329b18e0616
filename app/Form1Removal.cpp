// The remove command of the Scan panel.
#include "app/Form1.h"
#include "app/RemovalMessage.h"
#include "removal/QuarantineStore.h"
#include "removal/Removal.h"
#include "scanner/ScanSession.h"

#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>

QList<qsizetype> Form1::rowsToRemove() const
{
    QList<qsizetype> rows;
    if (const QItemSelectionModel *selection = ListView1->selectionModel()) {
        for (const QModelIndex &index : selection->selectedRows())
            rows.append(index.row() + 1);
    }
    if (rows.isEmpty()) {
        for (qsizetype i = 1; i <= m_session->results().count(); ++i)
            rows.append(i);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void Form1::Command6_Click()
{
    const QList<qsizetype> rows = rowsToRemove();
    if (rows.isEmpty())
        return;
    QMessageBox confirm(QMessageBox::Question, QStringLiteral("Torvakine"),
                        Lingua(RemoveConfirmText) + QLatin1Char(' ') +
                            QLocale().toString(qint64(rows.size())),
                        QMessageBox::NoButton, this);
    QPushButton *remove = confirm.addButton(Lingua(RemoveButtonText), QMessageBox::AcceptRole);
    QPushButton *cancel = confirm.addButton(Lingua(CancelText), QMessageBox::RejectRole);
    confirm.setDefaultButton(cancel);
    confirm.setEscapeButton(cancel);
    confirm.exec();
    if (confirm.clickedButton() != remove)
        return;

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
    // nothing is removed, the list stays and the message line says why.
    QList<RowRemoval> outcomes;
    QString problem;
    if (const std::unique_ptr<QuarantineStore> quarantine = openQuarantine(true, &problem))
        outcomes = RemoveDetections(*m_session, rows, quarantine.get());
    else
        showSummary(problem);
    Frame4->setEnabled(true);
    // What was removed leaves the list; what was not stays, marked.  From the
    // last row up, so that the numbers of the rows still to do stay valid.
    ResultListModel &list = m_session->results();
    for (auto it = outcomes.crbegin(); it != outcomes.crend(); ++it) {
        if (it->outcome == RemovalOutcome::Removed)
            list.removeRow(it->row);
        else
            list.markNotRemoved(it->row, it->outcome);
    }
    Command1->setEnabled(scanEnabled);
    Command6->setEnabled(true);
    Command7->setEnabled(updateEnabled);
    updateOpenReport();
    if (!toldOfReport)
        reportWriteFailure();
    if (outcomes.isEmpty())
        return;

    QMessageBox done(QMessageBox::Information, QStringLiteral("Torvakine"),
                     removalMessage(m_texts, outcomes), QMessageBox::Ok, this);
    QPushButton *report = done.addButton(Lingua(OpenReportText), QMessageBox::ActionRole);
    report->setEnabled(OpenReport->isEnabled());
    done.exec();
    if (done.clickedButton() == report)
        openReport();
}
