#pragma once

#include "platform/AsyncReader.h"
#include "platform/FileWriter.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

// The download queue control: any number of downloads at once, each written
// whole into its destination file, reported through four events.  It knows
// nothing of what it downloads.  A finished download is written through the
// file writer, so the destination holds either its old content or the whole
// download, flushed to disk and read back; a download that cannot be written
// so is a failed download (DownloadError), never a finished one.
class Downloader : public QObject
{
    Q_OBJECT
public:
    // At most this many requests between two clearings of the queue.
    static constexpr int MaximumQueued = 32767;
    static constexpr quint8 StatusPending = 255;

    // reader is the asynchronous read service and files the writer of the
    // destination files; both must outlive the control.
    Downloader(AsyncReader &reader, FileWriter &files, QObject *parent = nullptr);
    ~Downloader() override;

    // Starts downloading URL into SaveFile (a full path).  AsyncReadOptions
    // go to the reader unchanged (the network reader takes a number: the
    // most bytes the download may have).  When the read cannot be started,
    // warning() carries the message and nothing is queued.
    void BeginDownload(const QString &URL, const QString &SaveFile,
                       const QVariant &AsyncReadOptions = QVariant());
    // Cancels every queued read and empties the queue.  Raises no event.
    bool CancelAllDownload();

    // A check that every finished download must pass before it is written:
    // a download it refuses fails (DownloadError) and its file is not
    // touched.  Without a check every finished download is written.
    using ContentCheck = std::function<bool(const QString &SaveFile, const QByteArray &content)>;
    void setContentCheck(ContentCheck check) { m_contentCheck = std::move(check); }

    // The queue: SaveFile and status of each accepted request, in the order
    // of the BeginDownload calls (Qt lists: the first request is at 0).
    const QStringList &QueuedFiles() const { return m_queuedFiles; }
    const QList<quint8> &QueuedStatus() const { return m_queuedStatus; }

signals:
    void DownloadProgress(qint32 CurBytes, qint32 MaxBytes, const QString &SaveFile);
    void DownloadError(const QString &SaveFile);
    void DownloadComplete(qint32 MaxBytes, const QString &SaveFile);
    // FileNotDownload: the SaveFile of every failed request, in queue order.
    void DownloadAllComplete(const QStringList &FileNotDownload);
    // The "Warning" message of a request that could not be started.
    void warning(const QString &text);

private:
    void onAsyncReadProgress(const AsyncProperty &prop);
    void onAsyncReadComplete(const AsyncProperty &prop);
    void CheckAllComplete();

    AsyncReader &m_reader;
    FileWriter &m_files;
    ContentCheck m_contentCheck;
    QStringList m_queuedFiles;
    QList<quint8> m_queuedStatus;
};
