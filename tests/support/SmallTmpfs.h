#pragma once

#include <QString>
#include <QTemporaryDir>

// A small tmpfs mounted on a new folder while the object lives: a disk that
// can be filled up.  Mounting needs root and a system that allows it; when
// it fails, isMounted() is false and whyNot() says why.
class SmallTmpfs
{
public:
    explicit SmallTmpfs(qint64 bytes);
    ~SmallTmpfs();
    SmallTmpfs(const SmallTmpfs &) = delete;
    SmallTmpfs &operator=(const SmallTmpfs &) = delete;

    bool isMounted() const { return m_mounted; }
    QString whyNot() const { return m_whyNot; }
    QString path() const { return m_dir.path(); }
    // Fills the file system with a filler file until at most leaveFree
    // bytes are free; returns the bytes still free.
    qint64 fill(qint64 leaveFree = 0);
    qint64 freeBytes() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_whyNot;
};
