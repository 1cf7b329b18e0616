#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class Engine;
class FileHandle;
class ScanSession;

// Files above this size get the name check only.
constexpr qint64 kContentCheckLimit = 2500000;

// What the content check of one file found.
struct ContentVerdict {
    bool matched = false;
    // The threat name the search leaves behind (that of the last signature
    // entry it read); none when it read no entry.
    std::optional<QString> threatName;
};

// Reads whole files of at most kContentCheckLimit bytes into a buffer of its
// own, kept from file to file.  One reader per thread.
class ContentReader
{
public:
    enum class Outcome {
        Read,    // the whole content is in the view
        Skipped, // not a regular file, or more than kContentCheckLimit bytes
        Failed,  // the system could not read it
    };

    // Reads the whole content of the open regular file from its current
    // position; the view returned is valid until the next call.
    Outcome read(const FileHandle &file, QByteArray *content);

private:
    QByteArray m_buffer;
};

// The signature search of one file's content: its MD5 digest (and, where a
// signature entry asks for it, its SHA-1 digest) searched for in
// TrojSigEntries.  An empty content never matches.  Reads only the engine,
// so worker threads call it at the same time; yield, when given, is called
// now and then during a long search (a table out of order is read whole).
ContentVerdict searchSignatures(const Engine &engine, const QByteArray &content,
                                const std::function<void()> &yield = {});

// The content check within a scan, of a file the caller has opened (the walk
// opens each regular file once for its size and content): true on a match,
// CurrentThreatName then holding the entry's threat name.  Only regular files
// are read: a link, FIFO, device or socket, a file that cannot be read, an
// empty file and a file that has grown above kContentCheckLimit by the time
// it is read all give false.
bool FileScan(ScanSession &session, const FileHandle &file);
// The same for the file at FILE, opened without following a link.
bool FileScan(ScanSession &session, const QString &FILE);
