#pragma once

#include "scanner/basRegistry.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The parts of a registry row of the result list: the root name (one of the
// seven, written exactly so), the key path and, for a value row, the value
// name.  None when the row names no usable key (an unknown root name, no
// "\").
struct RegistryRow {
    QString rootName;
    PredefinedKey root = PredefinedKey::LocalMachine;
    QString keyPath;
    QString valueName; // empty for a key row
};
std::optional<RegistryRow> parseRegistryRow(const QString &location);

class QuarantineStore;

// Removes registry rows of the result list during one removal.  The registry
// is opened for changes when the object is made and every changed hive is
// committed once by finish().  With a quarantine, each value or key is kept
// there before it is deleted (the root of the scanned installation recorded
// with it); a row that cannot be kept is not deleted.
class RegistryRowRemoval
{
public:
    explicit RegistryRowRemoval(std::unique_ptr<RegistryBackend> registry,
                                QuarantineStore *quarantine = nullptr,
                                const QByteArray &installationRoot = QByteArray());
    ~RegistryRowRemoval();
    RegistryRowRemoval(const RegistryRowRemoval &) = delete;
    RegistryRowRemoval &operator=(const RegistryRowRemoval &) = delete;

    // Deletes the value or the whole key that location names; a key or value
    // that is not there needs nothing.  False when the row names no usable
    // key (an unknown root name, no "\" or nothing after the root name),
    // names a key that stands for a whole hive or predefined key, or the
    // deletion failed inside its hive: the caller records the row as a
    // failure.  A hive that cannot be opened for the change is reported by
    // finish().
    // threat is the row's threat name, for the quarantine.
    bool removeRow(const QString &location, const QString &threat = QString());

    // Commits the changes; returns the files (hives) that could not be
    // opened for a change or written, each left as it was.  An item of the
    // quarantine none of whose places could be written goes from it again.
    QStringList finish();

private:
    RegistrySession m_session;
    QuarantineStore *m_quarantine;
    QByteArray m_root;
    // The items kept, with the places each was kept from.
    QList<QPair<QByteArray, QStringList>> m_kept;
};
