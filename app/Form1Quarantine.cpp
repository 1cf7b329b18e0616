// The Quarantine panel (the items a removal took away: restore them, or
// delete them for good) and the result list's "Always allow".
#include "app/Artwork.h"
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/QuarantineListModel.h"
#include "removal/QuarantineRestore.h"
#include "removal/QuarantineStore.h"
#include "scanner/AllowListFile.h"
#include "scanner/ScanSession.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTreeView>

namespace {

QPushButton *pictureButton(QWidget *parent, const QString &art, int left, int top)
{
    auto *button = new QPushButton(parent);
    button->setGeometry(twips(left), twips(top), twips(615), twips(615));
    const QSize inner = button->size() - QSize(6, 6);
    button->setIcon(QIcon(Artwork::pixmap(art, inner)));
    button->setIconSize(inner);
    return button;
}

int refusalText(RestoreOutcome outcome)
{
    switch (outcome) {
    case RestoreOutcome::Exists:
        return RestoreExistsText;
    case RestoreOutcome::PlaceMissing:
        return RestoreMissingPlaceText;
    case RestoreOutcome::Damaged:
        return RestoreDamagedText;
    case RestoreOutcome::Restored:
    case RestoreOutcome::Failed:
        break;
    }
    return RestoreFailedText;
}

} // namespace

void Form1::buildQuarantinePanel()
{
    Frame4 = new QGroupBox(QStringLiteral("Quarantine"), this);
    Frame4->setGeometry(twips(1440), twips(960), twips(7815), twips(5895));
    Frame4->setAutoFillBackground(true);
    Frame4->hide();

    Command9 = pictureButton(Frame4, QStringLiteral("btn_restore"), 2640, 240);
    Command10 = pictureButton(Frame4, QStringLiteral("btn_delete"), 3240, 240);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
    Label11 = new QLabel(Frame4);
    Label11->setGeometry(twips(4680), twips(240), twips(3015), twips(375));

    m_quarantineList = new QuarantineListModel(this);
    ListView2 = new QTreeView(Frame4);
    ListView2->setGeometry(twips(120), twips(1080), twips(7575), twips(3855));
    ListView2->setRootIsDecorated(false);
    ListView2->setUniformRowHeights(true);
    ListView2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView2->setModel(m_quarantineList);
    ListView2->header()->setStretchLastSection(false);
    ListView2->header()->resizeSection(0, twips(1800));
    ListView2->header()->resizeSection(1, twips(2540));
    ListView2->header()->resizeSection(2, twips(10231));

    Text7 = new QLineEdit(Frame4);
    Text7->setGeometry(twips(120), twips(5400), twips(7575), twips(375));
    Text7->setReadOnly(true);
}

std::unique_ptr<QuarantineStore> Form1::openQuarantine(bool create, QString *problem)
{
    // The window never waits for another program that holds the quarantine.
    std::unique_ptr<QuarantineStore> store =
        QuarantineStore::open(m_paths.DataFolder, create, nullptr, false);
    if (!store)
        *problem = Lingua(QuarantineUnusableText) + QLatin1Char(' ') + m_paths.DataFolder +
                   QuarantineStore::folderName();
    return store;
}

void Form1::showQuarantine()
{
    QString problem;
    const std::unique_ptr<QuarantineStore> store = openQuarantine(false, &problem);
    Text7->setText(problem);
    m_quarantineList->setRecords(store ? store->records() : QList<QuarantineRecord>());
    Label11->setText(Lingua(QuarantineSpaceText) + QLatin1Char(' ') +
                     QLocale().formattedDataSize(store ? store->spaceUsed() : 0));
}

QList<QByteArray> Form1::selectedQuarantineIds() const
{
    QList<QByteArray> ids;
    for (const QModelIndex &index : ListView2->selectionModel()->selectedRows())
        ids << m_quarantineList->record(index.row()).id;
    return ids;
}

void Form1::Command9_Click()
{
    const QList<QByteArray> ids = selectedQuarantineIds();
    if (ids.isEmpty())
        return;
    QString problem;
    const std::unique_ptr<QuarantineStore> store = openQuarantine(false, &problem);
    Text7->setText(problem);
    if (!store)
        return;
    for (const RestoreResult &r : restoreQuarantined(*store, ids)) {
        // The first item that stayed is named, with the reason.
        if (r.outcome != RestoreOutcome::Restored && Text7->text().isEmpty())
            Text7->setText(Lingua(refusalText(r.outcome)) + QLatin1Char(' ') + r.object);
    }
    m_quarantineList->setRecords(store->records());
    Label11->setText(Lingua(QuarantineSpaceText) + QLatin1Char(' ') +
                     QLocale().formattedDataSize(store->spaceUsed()));
}

void Form1::Command10_Click()
{
    const QList<QByteArray> ids = selectedQuarantineIds();
    if (ids.isEmpty())
        return;
    {
        QString problem;
        const std::unique_ptr<QuarantineStore> store = openQuarantine(false, &problem);
        Text7->setText(problem);
        if (!store)
            return;
        if (!store->remove(ids)) {
            Text7->setText(Lingua(QuarantineUnusableText) + QLatin1Char(' ') + m_paths.DataFolder +
                           QuarantineStore::folderName());
            return;
        }
    }
    showQuarantine();
}

void Form1::alwaysAllowRow(int row)
{
    ResultListModel &list = m_session->results();
    if (row < 0 || row >= list.count())
        return;
    const QString path = m_paths.writeFile(AllowListFile::fileName());
    AllowListFile file;
    if (!file.read(path))
        return;
    const QString object = list.row(row + 1).location;
    file.add(AllowRule{AllowRule::Kind::Object, AllowList::objectRuleText(object.toUtf8())});
    if (file.write(path))
        list.removeRow(row + 1);
}
