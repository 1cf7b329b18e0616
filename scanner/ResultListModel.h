#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

// The result list: one row per detection, column 0 the threat name ("Name"),
// column 1 the object text ("File").  The scan writes it, the main window's
// list view shows it and the removal reads it back.
class ResultListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Row {
        QString name;
        QString location;
        // For a file the walk found: its path in the file system's own bytes,
        // which a name that is not valid text cannot be rebuilt from.
        QByteArray nativeLocation;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void addRow(const QString &name, const QString &location,
                const QByteArray &nativeLocation = QByteArray());
    void clear();
    qsizetype count() const { return m_rows.size(); }
    // Row i counted from 1.
    const Row &row(qsizetype i) const { return m_rows.at(i - 1); }

private:
    QVector<Row> m_rows;
};
