#pragma once

#include <QString>
#include <QStringList>

// Removes registry rows of the result list during one removal.  The registry
// of the scanned installation is opened for changes when the object is made
// and every changed hive is committed once by finish().
class RegistryRowRemoval
{
public:
    RegistryRowRemoval();
    ~RegistryRowRemoval();
    RegistryRowRemoval(const RegistryRowRemoval &) = delete;
    RegistryRowRemoval &operator=(const RegistryRowRemoval &) = delete;

    // Deletes the value or the whole key that location names.  False when the
    // row names no usable key (an unknown root name, no "\" or nothing after
    // the root name) or the registry cannot be changed: the row is then passed
    // over and the caller records it as a failure.
    bool removeRow(const QString &location);

    // Commits the changes; returns the files (hives) that could not be
    // written, each left as it was.
    QStringList finish();
};
