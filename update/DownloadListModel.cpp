#include "update/DownloadListModel.h"

int DownloadListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DownloadListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant DownloadListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows[index.row()];
    if (role == KeyRole)
        return row.key;
    if (role == Qt::DisplayRole)
        return index.column() == 0 ? row.text : row.status;
    return {};
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == 0)
        return QStringLiteral("Object");
    if (section == 1)
        return QStringLiteral("Status");
    return {};
}

void DownloadListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void DownloadListModel::addRow(const QString &key, const QString &text)
{
    const int at = int(m_rows.size());
    beginInsertRows(QModelIndex(), at, at);
    m_rows.append(Row{key, text, QString(), std::nullopt});
    endInsertRows();
}

void DownloadListModel::setStatusOfKey(const QString &key, const QString &status,
                                       std::optional<UpdateProblem> problem)
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].key != key)
            continue;
        m_rows[i].status = status;
        m_rows[i].problem = problem;
        const QModelIndex cell = index(i, 1);
        emit dataChanged(cell, cell, {Qt::DisplayRole});
    }
}
