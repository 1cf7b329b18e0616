#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// What the quarantine knows of one item: its line of the manifest.
struct QuarantineRecord {
    enum class Kind {
        File,          // a whole file; the kept bytes are its content
        Link,          // a symbolic link; the kept bytes are its target
        CookieLine,    // one line of a cookies.txt file, LF included
        CookieRow,     // one row of a browser's cookie store, every column
        RegistryValue, // a registry value: its type and data in every place it was
        RegistryKey,   // a registry key with everything below it
    };

    // 32 lower-case hexadecimal digits from the system's random source.
    QByteArray id;
    Kind kind = Kind::File;
    // When it was put into the quarantine, in whole seconds (UTC).
    QDateTime time;
    // The detection's threat name and object text, as the scan listed them.
    QString threat;
    QString object;
    // The root of the scan that found it, in the file system's bytes: a
    // restore reaches the path from there again by the rule every change
    // follows.  For a registry item, the root of the Windows installation.
    QByteArray root;
    // The file (or link, cookie file, cookie store) in the file system's
    // bytes; empty for a registry item.
    QByteArray path;
    // For a file or link: its owner, group, permission bits and time of last
    // change as they were.
    std::optional<quint32> owner;
    std::optional<quint32> group;
    std::optional<quint32> mode;
    std::optional<qint64> mtimeSeconds;
    qint32 mtimeNanoseconds = 0;
    // The size and SHA-256 digest (raw bytes) of the kept bytes before they
    // were enciphered: a file's content, a link's target, the cookie line,
    // the described row or registry copy.
    qint64 size = 0;
    QByteArray sha256;
    // The key of the item's keystream (StreamCipher).
    QByteArray key;

    bool operator==(const QuarantineRecord &) const = default;
};

// The kind's word in the manifest: "file", "link", "cookie-line",
// "cookie-row", "registry-value", "registry-key"; and back.
QByteArray quarantineKindName(QuarantineRecord::Kind kind);
std::optional<QuarantineRecord::Kind> quarantineKindOfName(const QByteArray &name);
