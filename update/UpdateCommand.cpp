#include "update/UpdateCommand.h"

#include "databases/DatabaseTables.h"
#include "platform/Cp1252.h"
#include "platform/FileWriter.h"
#include "update/AcceptedSequence.h"
#include "update/BuildStamp.h"
#include "update/ProgressText.h"
#include "update/UpdateServer.h"
#include "update/VersionLine.h"

#include <QDateTime>
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
constexpr std::array<DatabaseSource, 3> kSources{{
    {"/newupd/cookdb.ver", "/newupd/cookdb.dat", "cookdb.dat", "Main spyware database",
     &DatabaseTables::CookDbVersion},
    {"/newupd/trojsig.ver", "/newupd/trojsig.dat", "trojsig.dat", "Trojan database",
     &DatabaseTables::TrojSigVersion},
    {"/newupd/regdb.ver", "/newupd/regdb.dat", "regdb.dat", "Registry entries",
     &DatabaseTables::RegDbVersion},
}};
} // namespace

UpdateCommand::UpdateCommand(AppPaths paths, FileWriter &files, UpdateSettings settings,
                             QObject *parent)
    : QObject(parent), m_paths(std::move(paths)), m_files(files), m_settings(std::move(settings)),
      m_downloader(m_reader, files)
{
    m_reader.setStallTimeout(m_settings.stallTimeoutMs);
    m_reader.setDeadline(m_settings.deadline);
    m_inet.setStallTimeout(m_settings.stallTimeoutMs);
    m_inet.setDeadline(m_settings.deadline);
    m_downloader.setContentCheck([this](const QString &SaveFile, const QByteArray &content) {
        return acceptDownload(SaveFile, content);
    });
    connect(&m_downloader, &Downloader::DownloadProgress, this, &UpdateCommand::onDownloadProgress);
    connect(&m_downloader, &Downloader::DownloadError, this, &UpdateCommand::onDownloadError);
    connect(&m_downloader, &Downloader::DownloadComplete, this, &UpdateCommand::onDownloadComplete);
}

UpdateCommand::~UpdateCommand() = default;

QString UpdateCommand::sdrPath() const
{
    return m_paths.writeFile(QStringLiteral("SDR"));
}

UpdateCommand::Outcome UpdateCommand::check(const DatabaseTables &loaded)
{
    if (m_running)
        return Outcome::Busy;
    m_running = true;
    m_downloadList.clear();
    m_flags.UpdateInstalled = false;
    m_flags.ServerReachable = true;
    m_flags.PendingDownloads = 0;
    m_expected.clear();
    m_notAsListed.clear();
    m_asListed.clear();
    m_notes.clear();
    m_message.clear();
    m_newVersionAvailable = false;
    m_sdrNotSaved = false;
    const Outcome outcome = runCheck(loaded);
    // Nothing follows a check that ended early: the scratch file goes now.
    if (outcome != Outcome::Checked)
        QFile::remove(sdrPath());
    m_running = false;
    return outcome;
}

UpdateCommand::Outcome UpdateCommand::runCheck(const DatabaseTables &loaded)
{
    const std::optional<QByteArray> manifestBytes =
        GetInternetData(QStringLiteral("/newupd/manifest"));
    if (!manifestBytes)
        return fetchFailed();
    const std::optional<QByteArray> signature =
        GetInternetData(QStringLiteral("/newupd/manifest.sig"));
    // The list answered: a signature that is not there is a list that is
    // not signed, unless the server stopped answering in time.
    if (!signature && (m_sdrNotSaved || !m_flags.ServerReachable))
        return fetchFailed();
    if (!signature)
        return refuse(UpdateProblem::ListInvalid);
    const std::optional<UpdateManifest> manifest = acceptedManifest(*manifestBytes, *signature);
    if (!manifest)
        return Outcome::Refused;

    // The version comparison: a database whose version file's first line
    // differs from its loaded version is downloaded.
    std::array<std::optional<QString>, kSources.size()> newVersion;
    for (size_t i = 0; i < kSources.size(); ++i) {
        const std::optional<QByteArray> text =
            GetInternetData(QLatin1String(kSources[i].versionPath));
        if (!text)
            return fetchFailed();
        const QString v = versionLine(*text);
        if (v != loaded.*(kSources[i].loadedVersion))
            newVersion[i] = v;
    }

    const std::optional<QByteArray> stamp =
        GetInternetData(QStringLiteral("/newupd/torvakine.ver"));
    if (!stamp)
        return fetchFailed();
    const QString v = versionLine(*stamp);
    if (v != QLatin1String(BuildStamp)) {
        if (v == Cp1252::toUnicode(manifest->buildStamp)) {
            m_newVersionAvailable = true;
            emit newVersionFound();
        } else {
            addNote(QStringLiteral("torvakine.ver"), UpdateProblem::NotAsListed);
        }
    }

    const std::optional<QByteArray> message = GetInternetData(QStringLiteral("/newupd/msg.txt"));
    if (m_sdrNotSaved)
        return Outcome::Refused;
    m_message = message ? Cp1252::toUnicode(*message) : QString();

    const QString base = updateServerBaseUrl(m_paths);
    for (size_t i = 0; i < kSources.size(); ++i) {
        if (!newVersion[i])
            continue;
        // Wanted, so pending until it is installed, even when refused now.
        ++m_flags.PendingDownloads;
        m_flags.UpdateInstalled = true;
        const DatabaseSource &source = kSources[i];
        const QString saveFile = m_paths.writeFile(QLatin1String(source.localName));
        const QString rowText = QString::fromLatin1(source.rowText);
        const ManifestDatabase *listed = manifest->database(QLatin1String(source.localName));
        if (!listed || Cp1252::toUnicode(listed->version) != *newVersion[i]) {
            refuseDownload(saveFile, rowText, UpdateProblem::NotAsListed);
            continue;
        }
        m_expected.insert(saveFile, *listed);
        AddDownload(base + QLatin1String(source.dataPath), saveFile, rowText, listed->size);
    }
    return Outcome::Checked;
}

std::optional<UpdateManifest> UpdateCommand::acceptedManifest(const QByteArray &manifestBytes,
                                                              const QByteArray &signature)
{
    std::optional<UpdateManifest> manifest;
    if (verifyUpdateSignature(m_settings.publicKey, manifestBytes, signature))
        manifest = UpdateManifest::parse(manifestBytes);
    if (!manifest) {
        refuse(UpdateProblem::ListInvalid);
        return std::nullopt;
    }
    if (QDateTime::currentDateTimeUtc() > manifest->expires) {
        refuse(UpdateProblem::ListExpired);
        return std::nullopt;
    }
    const std::optional<quint64> accepted = readAcceptedSequence(m_paths);
    if (accepted && manifest->sequence < *accepted) {
        refuse(UpdateProblem::ListOlder);
        return std::nullopt;
    }
    if ((!accepted || manifest->sequence > *accepted) &&
        !storeAcceptedSequence(m_paths, manifest->sequence, m_files)) {
        refuse(UpdateProblem::WriteFailed, QStringLiteral("upd.seq"));
        return std::nullopt;
    }
    return manifest;
}

std::optional<QByteArray> UpdateCommand::GetInternetData(const QString &path)
{
    const TransferControl::Result result = m_inet.OpenURL(updateServerUrl(m_paths, path));
    if (result.ok) {
        if (m_files.replaceFile(sdrPath(), result.body))
            return result.body;
        m_sdrNotSaved = true;
        addNote(QStringLiteral("SDR"), UpdateProblem::WriteFailed);
        return std::nullopt;
    }
    if (result.errorNumber == TransferControl::ErrorTimeout) {
        emit serverTimedOut();
        m_flags.ServerReachable = false;
    }
    return std::nullopt;
}

UpdateCommand::Outcome UpdateCommand::fetchFailed()
{
    if (m_sdrNotSaved)
        return Outcome::Refused;
    addNote(QString(), UpdateProblem::ServerUnreachable);
    return Outcome::ServerUnreachable;
}

UpdateCommand::Outcome UpdateCommand::refuse(UpdateProblem problem, const QString &subject)
{
    addNote(subject, problem);
    return Outcome::Refused;
}

void UpdateCommand::addNote(const QString &subject, UpdateProblem problem)
{
    const UpdateNote note{subject, problem};
    m_notes.append(note);
    emit noteAdded(note);
}

void UpdateCommand::AddDownload(const QString &URL, const QString &SaveFile,
                                const QString &description, qint64 maximumBytes)
{
    m_downloadList.addRow(SaveFile, description);
    m_downloader.BeginDownload(URL, SaveFile, QVariant(qlonglong(maximumBytes)));
}

void UpdateCommand::refuseDownload(const QString &SaveFile, const QString &description,
                                   UpdateProblem problem)
{
    m_downloadList.addRow(SaveFile, description);
    m_downloadList.setStatusOfKey(SaveFile, QStringLiteral("Error"), problem);
    addNote(description, problem);
}

bool UpdateCommand::acceptDownload(const QString &SaveFile, const QByteArray &content)
{
    const auto listed = m_expected.constFind(SaveFile);
    if (listed == m_expected.constEnd() || !listed->matches(content)) {
        m_notAsListed.insert(SaveFile);
        return false;
    }
    m_asListed.insert(SaveFile);
    return true;
}

bool UpdateCommand::installWhenDownloaded(const std::function<bool()> &reload)
{
    // A tick that arrives while a check waits for a fetch leaves the reload
    // to a later tick, after the check has finished.
    if (m_running || m_flags.PendingDownloads != 0)
        return false;
    if (reload && !reload())
        addNote(QStringLiteral("upd.dat"), UpdateProblem::WriteFailed);
    QFile::remove(sdrPath());
    return true;
}

void UpdateCommand::onDownloadProgress(qint32 CurBytes, qint32 MaxBytes, const QString &SaveFile)
{
    m_downloadList.setStatusOfKey(SaveFile, downloadProgressText(CurBytes, MaxBytes));
}

void UpdateCommand::onDownloadError(const QString &SaveFile)
{
    // The check saw the content: refused, or accepted and then not written.
    UpdateProblem problem = UpdateProblem::DownloadFailed;
    if (m_notAsListed.contains(SaveFile))
        problem = UpdateProblem::NotAsListed;
    else if (m_asListed.contains(SaveFile))
        problem = UpdateProblem::WriteFailed;
    m_downloadList.setStatusOfKey(SaveFile, QStringLiteral("Error"), problem);
    for (const DownloadListModel::Row &row : m_downloadList.rows()) {
        if (row.key == SaveFile)
            addNote(row.text, problem);
    }
}

void UpdateCommand::onDownloadComplete(qint32, const QString &SaveFile)
{
    for (const DownloadListModel::Row &row : m_downloadList.rows()) {
        if (row.key == SaveFile)
            --m_flags.PendingDownloads;
    }
    m_downloadList.setStatusOfKey(SaveFile, QStringLiteral("Completed"));
}
