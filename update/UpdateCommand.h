#pragma once

#include "platform/AppPaths.h"
#include "platform/NetworkAsyncReader.h"
#include "platform/TransferControl.h"
#include "update/DownloadListModel.h"
#include "update/Downloader.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

struct DatabaseTables;

// The flags of the running update command.
struct UpdateFlags {
    bool ServerReachable = true;
    qint32 PendingDownloads = 0;
    bool UpdateInstalled = false;
};

// The update command's engine, shared by the main window and the
// command-line tool: compares the versions of the three databases with the
// server's version files, queues the databases that differ in Downloader1
// and in the download list, checks the program's build stamp and fetches the
// server's message.  Message boxes and the new-version notice are signals
// that the window shows and the command-line tool prints, in the texts of
// their own language.
class UpdateCommand : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        ServerUnreachable, // the first fetch timed out: nothing was checked
        Checked            // the databases were compared; downloads may run
    };

    explicit UpdateCommand(AppPaths paths, QObject *parent = nullptr);
    ~UpdateCommand() override;

    // The update command, steps 1 to 9 of Command7's click (without the
    // window's part: Text1, closing the panel, Timer3), against the versions
    // of the loaded tables.  The fetches are synchronous; the downloads go on
    // in the background afterwards.
    Outcome Command7(const DatabaseTables &loaded);

    // Fetches URL.  On success "SDR" holds exactly the fetched bytes and they
    // are returned.  A time-out raises serverTimedOut() and clears
    // ServerReachable; any failure returns empty bytes and leaves "SDR".
    QByteArray GetInternetData(const QString &URL);
    // The first line of "SDR" (up to its first CR; an LF stays in the text),
    // or empty text when the server is unreachable or "SDR" cannot be read.
    QString GetVersioneInternet() const;
    // A row keyed by SaveFile, then the download into SaveFile.  The
    // signature URL + ".sig" is fetched first; the download is written only
    // when that signature verifies, otherwise its row shows "Error".
    void AddDownload(const QString &URL, const QString &SaveFile, const QString &description);

    // Timer3's tick.  When no download is pending (and no command is
    // fetching), runs restartSystem, deletes "SDR" and returns true: the
    // timer is then stopped.  Otherwise returns false.
    bool Timer3_Timer(const std::function<void()> &restartSystem);

    const UpdateFlags &flags() const { return m_flags; }
    // The public key (PEM) downloads are verified with; the compiled-in key
    // unless set.
    void setPublicKey(const QByteArray &publicPem) { m_publicKey = publicPem; }

    // The text of the server's message from the last command (Text2).
    const QString &message() const { return m_message; }
    // Whether the last command found another build stamp on the server.
    bool newVersionAvailable() const { return m_newVersionAvailable; }
    // How many fetches of the last command got an answer.
    int answeredFetches() const { return m_answeredFetches; }
    QString sdrPath() const;

    DownloadListModel &downloadList() { return m_downloadList; }
    Downloader &Downloader1() { return m_downloader; }
    TransferControl &Inet1() { return m_inet; }

signals:
    // The fetch timed out: a message box titled "Update" with Lingua(20).
    void serverTimedOut();
    // Another build stamp is published: frmNewversion with Lingua(23).
    void newVersionFound();

private:
    void Downloader1_DownloadProgress(qint32 CurBytes, qint32 MaxBytes, const QString &SaveFile);
    void Downloader1_DownloadError(const QString &SaveFile);
    void Downloader1_DownloadComplete(qint32 MaxBytes, const QString &SaveFile);

    AppPaths m_paths;
    QByteArray m_publicKey;
    UpdateFlags m_flags;
    NetworkAsyncReader m_reader;
    Downloader m_downloader;
    TransferControl m_inet;
    DownloadListModel m_downloadList;
    QHash<QString, QByteArray> m_signatures; // SaveFile -> its signature file
    QString m_message;
    bool m_newVersionAvailable = false;
    bool m_running = false;
    int m_answeredFetches = 0;
};
