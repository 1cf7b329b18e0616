#include "update/UpdateCommand.h"

#include "databases/DatabaseTables.h"
#include "platform/Cp1252.h"
#include "platform/TextFiles.h"
#include "update/BuildStamp.h"
#include "update/ProgressText.h"
#include "update/UpdateServer.h"
#include "update/UpdateSignature.h"

#include <QFile>

#include <array>

namespace {
struct DatabaseSource {
    const char *versionPath;
    const char *dataPath;
    const char *localName;
    const char *rowText;
    QString DatabaseTables::*loadedVersion;
};

// The databases in the order in which they are compared and queued.
const std::array<DatabaseSource, 3> &databaseSources()
{
    static const std::array<DatabaseSource, 3> sources{{
        {"/newupd/cookdb.ver", "/newupd/cookdb.dat", "cookdb.dat", "Main spyware database",
         &DatabaseTables::CookDbVersion},
        {"/newupd/trojsig.ver", "/newupd/trojsig.dat", "trojsig.dat", "Trojan database",
         &DatabaseTables::TrojSigVersion},
        {"/newupd/regdb.ver", "/newupd/regdb.dat", "regdb.dat", "Registry entries",
         &DatabaseTables::RegDbVersion},
    }};
    return sources;
}
} // namespace

UpdateCommand::UpdateCommand(AppPaths paths, QObject *parent)
    : QObject(parent), m_paths(std::move(paths)), m_publicKey(compiledUpdatePublicKey()),
      m_downloader(m_reader)
{
    // A database replaces the installed one only with a valid signature.
    m_downloader.setContentCheck([this](const QString &SaveFile, const QByteArray &content) {
        return verifyUpdateSignature(m_publicKey, content, m_signatures.value(SaveFile));
    });
    connect(&m_downloader, &Downloader::DownloadProgress, this,
            &UpdateCommand::Downloader1_DownloadProgress);
    connect(&m_downloader, &Downloader::DownloadError, this,
            &UpdateCommand::Downloader1_DownloadError);
    connect(&m_downloader, &Downloader::DownloadComplete, this,
            &UpdateCommand::Downloader1_DownloadComplete);
}

UpdateCommand::~UpdateCommand() = default;

QString UpdateCommand::sdrPath() const
{
    return m_paths.file(QStringLiteral("SDR"));
}

UpdateCommand::Outcome UpdateCommand::Command7(const DatabaseTables &tables)
{
    if (m_running)
        return Outcome::Checked;
    m_running = true;
    UpdateFlags &flags = m_flags;
    m_downloadList.clear();
    flags.UpdateInstalled = false;
    flags.ServerReachable = true;
    flags.PendingDownloads = 0;
    m_message.clear();
    m_newVersionAvailable = false;
    m_answeredFetches = 0;

    const QString base = updateServerBaseUrl(m_paths);
    const auto &sources = databaseSources();
    GetInternetData(base + QLatin1String(sources[0].versionPath));
    if (!flags.ServerReachable) {
        QFile::remove(sdrPath());
        m_running = false;
        return Outcome::ServerUnreachable;
    }

    std::array<bool, 3> NeedsUpdate{};
    for (size_t i = 0; i < sources.size(); ++i) {
        if (i > 0)
            GetInternetData(base + QLatin1String(sources[i].versionPath));
        if (GetVersioneInternet() != tables.*(sources[i].loadedVersion)) {
            NeedsUpdate[i] = true;
            ++flags.PendingDownloads;
            flags.UpdateInstalled = true;
        }
    }

    for (size_t i = 0; i < sources.size(); ++i) {
        if (NeedsUpdate[i])
            AddDownload(base + QLatin1String(sources[i].dataPath),
                        m_paths.file(QLatin1String(sources[i].localName)),
                        QString::fromLatin1(sources[i].rowText));
    }

    GetInternetData(base + QStringLiteral("/newupd/torvakine.ver"));
    if (GetVersioneInternet() != QLatin1String(BuildStamp)) {
        m_newVersionAvailable = true;
        emit newVersionFound();
    }

    m_message = Cp1252::toUnicode(GetInternetData(base + QStringLiteral("/newupd/msg.txt")));
    m_running = false;
    return Outcome::Checked;
}

QByteArray UpdateCommand::GetInternetData(const QString &URL)
{
    const TransferControl::Result result = m_inet.OpenURL(URL);
    if (result.ok) {
        ++m_answeredFetches;
        TextFiles::writeAtomically(sdrPath(), result.body);
        return result.body;
    }
    if (result.errorNumber == TransferControl::ErrorTimeout) {
        emit serverTimedOut();
        m_flags.ServerReachable = false;
    }
    return {};
}

QString UpdateCommand::GetVersioneInternet() const
{
    if (!m_flags.ServerReachable)
        return {};
    QFile sdr(sdrPath());
    if (!sdr.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = sdr.readAll();
    const qsizetype cr = text.indexOf('\r');
    if (cr >= 0)
        text.truncate(cr);
    return Cp1252::toUnicode(text);
}

void UpdateCommand::AddDownload(const QString &URL, const QString &SaveFile,
                                const QString &description)
{
    m_downloadList.addRow(SaveFile, description);
    // The signature is fetched beside the database; a missing one leaves
    // nothing to verify with, so the download will fail.  "SDR" and the
    // server's reachability are the version check's and stay untouched.
    const TransferControl::Result signature = m_inet.OpenURL(URL + QStringLiteral(".sig"));
    m_signatures.insert(SaveFile, signature.ok ? signature.body : QByteArray());
    m_downloader.BeginDownload(URL, SaveFile);
}

bool UpdateCommand::Timer3_Timer(const std::function<void()> &restartSystem)
{
    // A tick that arrives while the command waits for a fetch leaves the
    // reload to a later tick, after the command has finished.
    if (m_running || m_flags.PendingDownloads != 0)
        return false;
    if (restartSystem)
        restartSystem();
    QFile::remove(sdrPath());
    return true;
}

void UpdateCommand::Downloader1_DownloadProgress(qint32 CurBytes, qint32 MaxBytes,
                                                 const QString &SaveFile)
{
    m_downloadList.setStatusOfKey(SaveFile, downloadProgressText(CurBytes, MaxBytes));
}

void UpdateCommand::Downloader1_DownloadError(const QString &SaveFile)
{
    m_downloadList.setStatusOfKey(SaveFile, QStringLiteral("Error"));
}

void UpdateCommand::Downloader1_DownloadComplete(qint32, const QString &SaveFile)
{
    for (const DownloadListModel::Row &row : m_downloadList.rows()) {
        if (row.key == SaveFile)
            --m_flags.PendingDownloads;
    }
    m_downloadList.setStatusOfKey(SaveFile, QStringLiteral("Completed"));
}
