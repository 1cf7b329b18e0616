#pragma once

#include <QByteArray>

#include <optional>

class FileHandle;

// The SHA-256 digest (32 raw bytes) of a whole file's content, read from the
// open file's current position to its end in pieces, whatever its size; the
// allow list's sha256 rules compare it.  None when the file cannot be read.
std::optional<QByteArray> contentSha256(const FileHandle &file);

// The SHA-256 digest of content already read.
QByteArray contentSha256(const QByteArray &content);
