#include "scanner/ResultListModel.h"

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ResultListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const Row &r = m_rows.at(index.row());
    return index.column() == 0 ? r.name : r.location;
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("Name") : QStringLiteral("File");
}

void ResultListModel::addRow(const QString &name, const QString &location,
                             std::optional<FoundFile> found)
{
    const int at = int(m_rows.size());
    beginInsertRows(QModelIndex(), at, at);
    m_rows.append({name, location, std::move(found), std::nullopt});
    endInsertRows();
}

void ResultListModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void ResultListModel::removeRow(qsizetype i)
{
    if (i < 1 || i > m_rows.size())
        return;
    beginRemoveRows(QModelIndex(), int(i - 1), int(i - 1));
    m_rows.removeAt(i - 1);
    endRemoveRows();
}

void ResultListModel::markNotRemoved(qsizetype i, RemovalOutcome why)
{
    if (i < 1 || i > m_rows.size())
        return;
    m_rows[i - 1].notRemoved = why;
    emit dataChanged(index(int(i - 1), 0), index(int(i - 1), 1));
}
