#pragma once

#include "removal/QuarantineRecord.h"

#include <QAbstractTableModel>
#include <QList>

// The Quarantine panel's item list: one row per item, columns "Time" (local
// time it was removed), "Name" (the threat) and "Object".
class QuarantineListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void setRecords(QList<QuarantineRecord> records);
    const QuarantineRecord &record(int row) const { return m_records.at(row); }

private:
    QList<QuarantineRecord> m_records;
};
