#pragma once

#include <QString>

#include <memory>

class QLockFile;

// A lock kept inside the folder the program writes into: one running program
// per folder.  The lock file lies in that folder, which only its user can
// write into when installed, so no other user can take it in advance.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &folder);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this process now holds the lock; false when another running
    // process holds it.
    bool tryAcquire();

    static QString lockPathFor(const QString &folder);

private:
    std::unique_ptr<QLockFile> m_lock;
};
