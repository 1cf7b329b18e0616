#include "app/QuarantineListModel.h"

#include <QLocale>

int QuarantineListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

int QuarantineListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant QuarantineListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_records.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const QuarantineRecord &r = m_records.at(index.row());
    switch (index.column()) {
    case 0:
        return QLocale().toString(r.time.toLocalTime(), QLocale::ShortFormat);
    case 1:
        return r.threat;
    default:
        return r.object;
    }
}

QVariant QuarantineListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const kHeaders[] = {"Time", "Name", "Object"};
    return section >= 0 && section < 3 ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

void QuarantineListModel::setRecords(QList<QuarantineRecord> records)
{
    beginResetModel();
    m_records = std::move(records);
    endResetModel();
}
