#pragma once

#include "platform/FileHandle.h"
#include "scanner/RemovalOutcome.h"

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

#include <optional>

// Where the walk found the file of a detection (the file itself, or the
// cookie file of a tracking cookie): its path in the file system's own bytes,
// which a name that is not valid text cannot be rebuilt from, and the
// identity of the file and of the folder it was listed in, as the walk saw
// them.  A removal changes the file only while both are still the same.
struct FoundFile {
    QByteArray nativePath;
    FileStatus file;
    FileStatus folder;
    // The file holds the tracking cookie of the row; it is never removed
    // whole.
    bool isCookieFile = false;
};

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
        // For a file or cookie file the walk found.
        std::optional<FoundFile> found;
        // Why the last removal left the row in the list; none for a row no
        // removal has tried.
        std::optional<RemovalOutcome> notRemoved;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void addRow(const QString &name, const QString &location,
                std::optional<FoundFile> found = std::nullopt);
    void clear();
    // Takes row i (counted from 1) out of the list.
    void removeRow(qsizetype i);
    // Marks row i (counted from 1) as left in the list by a removal, and why.
    void markNotRemoved(qsizetype i, RemovalOutcome why);
    qsizetype count() const { return m_rows.size(); }
    // Row i counted from 1.
    const Row &row(qsizetype i) const { return m_rows.at(i - 1); }

private:
    QVector<Row> m_rows;
};
