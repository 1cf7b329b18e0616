#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The signed list of one publication on the update server,
// "/newupd/manifest", with its Ed25519 signature "/newupd/manifest.sig"
// (Base64 of the 64 signature bytes over the manifest's exact bytes, then
// CR LF).  The manifest is Windows-1252 text; every line ends with CR LF and
// no line holds another CR or LF; fields are separated by one space:
//
//   TORVAKINE-MANIFEST 1
//   sequence <N>
//   expires <YYYY-MM-DDTHH:MM:SSZ>
//   build-stamp <text>
//   database <file name> <size> <sha-256> <version text>
//   ...
//
// in this order, with one to three "database" lines.  N is a decimal number
// of 1 to 20 digits without leading zeros (at most 2^64 - 1): the
// publication's sequence number.
// The expiry is a UTC time.  The build stamp is the first line of
// torvakine.ver.  A database line names cookdb.dat, trojsig.dat or regdb.dat
// (each at most once), its size in bytes in decimal without leading zeros (1
// to MaximumDatabaseSize), the SHA-256 of its bytes as 64 lower-case hex digits,
// and its version text, the first line of its .ver file, which runs to the
// end of the line and may hold spaces or be empty.  Anything else (another
// order, an unknown or repeated line, a missing CR LF, a manifest over
// MaximumSize bytes) makes the whole manifest invalid.
struct ManifestDatabase {
    QString fileName;
    qint64 size = 0;
    QByteArray sha256;  // 32 bytes
    QByteArray version; // Windows-1252 bytes, as in the .ver file

    // True when content is exactly the listed file: its size and SHA-256.
    bool matches(const QByteArray &content) const;
};

struct UpdateManifest {
    // The largest database a manifest may list, and so the most bytes a
    // database download reads: 64 MiB.  The databases are Base64 text of
    // enciphered lists; the largest real one is far below a megabyte, and a
    // download is held in memory whole before it is written.  At the lowest
    // rate a download may keep, 16 KiB/s, a database this large takes about
    // 68 minutes.
    static constexpr qint64 MaximumDatabaseSize = 64LL * 1024 * 1024;
    static constexpr qsizetype MaximumSize = 64 * 1024;

    quint64 sequence = 0;
    QDateTime expires; // UTC
    QByteArray buildStamp;
    QList<ManifestDatabase> databases;

    // The database listed under fileName, or null.
    const ManifestDatabase *database(const QString &fileName) const;
    // The manifest's text.
    QByteArray toBytes() const;
    // The manifest of bytes, or nothing when they are not a valid manifest;
    // fault then says what is wrong.
    static std::optional<UpdateManifest> parse(const QByteArray &bytes, QString *fault = nullptr);
};
