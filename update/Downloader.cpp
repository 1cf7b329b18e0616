#include "update/Downloader.h"

#include <limits>

namespace {
qint32 clampTo32(qint64 value)
{
    if (value > std::numeric_limits<qint32>::max())
        return std::numeric_limits<qint32>::max();
    if (value < 0)
        return 0;
    return qint32(value);
}

QString warningText(int number, const QString &procedure, const QString &description)
{
    return QString::number(number) + QStringLiteral(":Error in call to ") + procedure +
           QStringLiteral("().\r\n\r\nError Description: ") + description;
}
} // namespace

Downloader::Downloader(AsyncReader &reader, FileWriter &files, QObject *parent)
    : QObject(parent), m_reader(reader), m_files(files)
{
    connect(&m_reader, &AsyncReader::AsyncReadProgress, this, &Downloader::onAsyncReadProgress);
    connect(&m_reader, &AsyncReader::AsyncReadComplete, this, &Downloader::onAsyncReadComplete);
}

Downloader::~Downloader()
{
    if (!m_queuedFiles.isEmpty())
        CancelAllDownload();
}

void Downloader::BeginDownload(const QString &URL, const QString &SaveFile,
                               const QVariant &AsyncReadOptions)
{
    if (m_queuedFiles.size() >= MaximumQueued) {
        emit warning(warningText(6, QStringLiteral("BeginDownload"), QStringLiteral("Overflow")));
        return;
    }
    int number = 0;
    QString description;
    if (!m_reader.asyncRead(URL, SaveFile, AsyncReadOptions, &number, &description)) {
        emit warning(warningText(number, QStringLiteral("BeginDownload"), description));
        return;
    }
    m_queuedFiles.append(SaveFile);
    m_queuedStatus.append(StatusPending);
}

bool Downloader::CancelAllDownload()
{
    for (const QString &key : std::as_const(m_queuedFiles))
        m_reader.cancelAsyncRead(key);
    m_queuedFiles.clear();
    m_queuedStatus.clear();
    return true;
}

void Downloader::onAsyncReadProgress(const AsyncProperty &prop)
{
    if (prop.BytesMax != 0)
        emit DownloadProgress(clampTo32(prop.BytesRead), clampTo32(prop.BytesMax),
                              prop.PropertyName);
    if (prop.StatusCode == AsyncReader::StatusError)
        m_reader.cancelAsyncRead(prop.PropertyName);
}

void Downloader::onAsyncReadComplete(const AsyncProperty &prop)
{
    int status = prop.StatusCode;
    if (status == AsyncReader::StatusError) {
        m_reader.cancelAsyncRead(prop.PropertyName);
        emit DownloadError(prop.PropertyName);
    } else if (status == AsyncReader::StatusComplete) {
        // A download the content check refuses, or a file that cannot be
        // written, is a failed download.
        const bool accepted = !m_contentCheck || m_contentCheck(prop.PropertyName, prop.Value);
        if (accepted && m_files.replaceFile(prop.PropertyName, prop.Value)) {
            emit DownloadComplete(clampTo32(prop.BytesMax), prop.PropertyName);
        } else {
            status = AsyncReader::StatusError;
            emit DownloadError(prop.PropertyName);
        }
    }
    const qsizetype index = m_queuedFiles.indexOf(prop.PropertyName);
    if (index >= 0)
        m_queuedStatus[index] = quint8(status & 0xFF);
    CheckAllComplete();
}

void Downloader::CheckAllComplete()
{
    QStringList failed;
    for (qsizetype i = 0; i < m_queuedFiles.size(); ++i) {
        if (m_queuedStatus[i] == AsyncReader::StatusError)
            failed.append(m_queuedFiles[i]);
        else if (m_queuedStatus[i] != AsyncReader::StatusComplete)
            return;
    }
    CancelAllDownload();
    emit DownloadAllComplete(failed);
}
