#pragma once

#include "scanner/basRegistry.h"

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

// Removes registry rows of the result list during one removal.  The registry
// is opened for changes when the object is made and every changed hive is
// committed once by finish().
class RegistryRowRemoval
{
public:
    explicit RegistryRowRemoval(std::unique_ptr<RegistryBackend> registry);
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
    bool removeRow(const QString &location);

    // Commits the changes; returns the files (hives) that could not be
    // opened for a change or written, each left as it was.
    QStringList finish();

private:
    RegistrySession m_session;
};
