#pragma once

#include <QString>

#include <memory>

class QLockFile;

// A lock keyed by the application folder: one running program per folder.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &appFolder);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this process now holds the lock; false when another running
    // process holds it.
    bool tryAcquire();

    static QString lockPathFor(const QString &appFolder);

private:
    std::unique_ptr<QLockFile> m_lock;
};
