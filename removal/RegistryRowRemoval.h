#pragma once

#include "scanner/basRegistry.h"

#include <QString>
#include <QStringList>

#include <memory>

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
