#pragma once

#include "update/UpdateNote.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <optional>

// The rows of the download list: column "Object" holds the row's text,
// column "Status" its status.  Each row is keyed by the full path of its
// destination file; the key is also given by KeyRole.  A row whose download
// failed or was refused also keeps why.
class DownloadListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole + 1;

    struct Row {
        QString key;
        QString text;
        QString status;
        std::optional<UpdateProblem> problem;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void clear();
    void addRow(const QString &key, const QString &text);
    // Sets the status (and the problem, or none) of every row whose key
    // equals key.
    void setStatusOfKey(const QString &key, const QString &status,
                        std::optional<UpdateProblem> problem = std::nullopt);
    const QList<Row> &rows() const { return m_rows; }

private:
    QList<Row> m_rows;
};
