#pragma once

#include "removal/QuarantineRecord.h"

#include <QByteArray>
#include <QList>

// The quarantine's manifest, manifest.dat: every item's record, one a line.
//
//   TORVAKINE-QUARANTINE 1 CR LF
//   then one line per item, its fields separated by one TAB, ended by CR LF:
//   id  kind  time  threat  object  root  path  owner  group  mode  mtime
//   size  sha256  key
//
//   id      32 lower-case hexadecimal digits
//   kind    file, link, cookie-line, cookie-row, registry-value, registry-key
//   time    UTC, ISO 8601: 2025-01-31T17:04:05Z
//   threat, object, root, path
//           bytes (UTF-8 for threat and object, the file system's bytes for
//           root and path) with every byte below 0x20, 0x7F and "%" written
//           as "%" and two upper-case hexadecimal digits
//   owner, group
//           decimal user and group number, or "-"
//   mode    the permission bits in octal (0644), or "-"
//   mtime   seconds since 1970 (UTC), ".", nine digits of nanoseconds, or "-"
//   size    decimal number of bytes kept (before enciphering)
//   sha256  64 lower-case hexadecimal digits: the digest of those bytes
//   key     64 lower-case hexadecimal digits: the item's keystream key
namespace QuarantineManifest {

constexpr qint64 kMaxBytes = 256 << 20;

QByteArray encode(const QList<QuarantineRecord> &records);

struct Decoded {
    QList<QuarantineRecord> records;
    // Lines that are no sound record, or repeat an id: passed over.
    qsizetype damagedLines = 0;
    // The first line is not the header of a manifest this program reads.
    bool unknownFormat = false;
};
// Reads a manifest from anywhere: any bytes give a result, never a crash.
Decoded decode(const QByteArray &bytes);

// The percent form of the text fields, and back (none for a malformed "%").
QByteArray escapeField(const QByteArray &bytes);
std::optional<QByteArray> unescapeField(const QByteArray &field);

} // namespace QuarantineManifest
