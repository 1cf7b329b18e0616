#pragma once

#include "platform/AppPaths.h"
#include "platform/NetworkAsyncReader.h"
#include "platform/TransferControl.h"
#include "update/DownloadListModel.h"
#include "update/Downloader.h"
#include "update/UpdateManifest.h"
#include "update/UpdateNote.h"
#include "update/UpdateSettings.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

class FileWriter;
struct DatabaseTables;

// The flags of the running update.
struct UpdateFlags {
    bool ServerReachable = true;
    qint32 PendingDownloads = 0;
    bool UpdateInstalled = false;
};

// The database update, shared by the main window and the command-line tool.
//
// check() fetches the server's signed update list ("/newupd/manifest" and
// its signature) and refuses the whole update when the signature does not
// verify with the publisher's key, when the list is malformed, past its
// expiry, or older (by its sequence number) than the last list this
// application folder accepted; an accepted list's number is stored.  Then it
// compares the first line of each database's version file with the loaded
// version and queues each database that differs in the download queue and
// the download list; a database whose version file disagrees with the list,
// or that the list does not name, gets a row with "Error" instead.  It checks
// the program's build stamp and fetches the server's message.  Each download
// reads at most the listed size, and is installed only when its size and
// SHA-256 are the listed ones, through the file writer (a durable, checked
// replacement).  installWhenDownloaded() is the step that follows: once no
// download is pending it has the databases reloaded.
//
// Every refusal and failure leaves a note (notes()); a failed row shows
// "Error" and carries its problem.  Message boxes and the new-version notice
// are signals that the window shows and the command-line tool prints, in the
// texts of their own language.
class UpdateCommand : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        ServerUnreachable, // the update list or a version file could not be fetched
        Refused,           // the update list was refused, or a file could not be written
        Checked,           // the databases were compared; downloads may run
        Busy               // a check was already running: nothing was done
    };

    // files writes every file of the update; it must outlive the command.
    UpdateCommand(AppPaths paths, FileWriter &files, UpdateSettings settings = {},
                  QObject *parent = nullptr);
    ~UpdateCommand() override;

    // The update check against the versions of the loaded tables.  The
    // fetches are synchronous (the waiting hook runs meanwhile); the
    // downloads go on in the background afterwards.
    Outcome check(const DatabaseTables &loaded);

    // The step after the downloads.  When no download is pending and no
    // check is running, runs reload (which reloads the databases and returns
    // whether upd.dat could be written; a note records it when not), deletes
    // "SDR" and returns true.  Otherwise returns false.
    bool installWhenDownloaded(const std::function<bool()> &reload);

    // Called about every 15 ms while a fetch waits for the server.
    void setWhileWaiting(std::function<void()> hook) { m_inet.setWhileWaiting(std::move(hook)); }

    const UpdateFlags &flags() const { return m_flags; }
    // The text of the server's message from the last check.
    const QString &message() const { return m_message; }
    // Whether the last check found another build stamp on the server.
    bool newVersionAvailable() const { return m_newVersionAvailable; }
    // What went wrong in the last check and its downloads, in order.
    const QList<UpdateNote> &notes() const { return m_notes; }
    QString sdrPath() const;

    DownloadListModel &downloadList() { return m_downloadList; }
    Downloader &downloadQueue() { return m_downloader; }

signals:
    // A fetch timed out: a message box titled "Update" with Lingua(20).
    void serverTimedOut();
    // Another build stamp is published: frmNewversion with Lingua(23).
    void newVersionFound();
    // notes() has a new entry.
    void noteAdded(const UpdateNote &note);

private:
    // The steps of check(), which resets the state around them.
    Outcome runCheck(const DatabaseTables &loaded);
    std::optional<UpdateManifest> acceptedManifest(const QByteArray &manifest,
                                                   const QByteArray &signature);
    // Fetches the server's path.  On success "SDR" holds exactly the fetched
    // bytes and they are returned.  A time-out raises serverTimedOut() and
    // clears ServerReachable; any failure returns nothing.  When "SDR"
    // cannot be written, the fetch counts as failed and m_sdrNotSaved is set.
    std::optional<QByteArray> GetInternetData(const QString &path);
    // The outcome after a fetch of a version file or the list failed.
    Outcome fetchFailed();
    Outcome refuse(UpdateProblem problem, const QString &subject = QString());
    // A row keyed by SaveFile, then the download of at most maximumBytes
    // into SaveFile.
    void AddDownload(const QString &URL, const QString &SaveFile, const QString &description,
                     qint64 maximumBytes);
    // A row that shows "Error" at once: the database is not downloaded.
    void refuseDownload(const QString &SaveFile, const QString &description, UpdateProblem problem);
    bool acceptDownload(const QString &SaveFile, const QByteArray &content);
    void addNote(const QString &subject, UpdateProblem problem);

    void onDownloadProgress(qint32 CurBytes, qint32 MaxBytes, const QString &SaveFile);
    void onDownloadError(const QString &SaveFile);
    void onDownloadComplete(qint32 MaxBytes, const QString &SaveFile);

    AppPaths m_paths;
    FileWriter &m_files;
    UpdateSettings m_settings;
    UpdateFlags m_flags;
    NetworkAsyncReader m_reader;
    Downloader m_downloader;
    TransferControl m_inet;
    DownloadListModel m_downloadList;
    QHash<QString, ManifestDatabase> m_expected; // SaveFile -> its listed file
    QSet<QString> m_notAsListed;                 // downloads the check refused
    QSet<QString> m_asListed;                    // downloads the check passed
    QList<UpdateNote> m_notes;
    QString m_message;
    bool m_newVersionAvailable = false;
    bool m_running = false;
    bool m_sdrNotSaved = false;
};
