#include "update/UpdateRun.h"

#include "update/DatabaseReload.h"
#include "update/UpdateCommand.h"

#include <QEventLoop>
#include <QTimer>

UpdateRunResult runUpdateToEnd(UpdateCommand &command, const AppPaths &paths, EngineHandle &engine,
                               ProgressIndicator &bar)
{
    if (command.Command7(engine->tables()) == UpdateCommand::Outcome::ServerUnreachable)
        return UpdateServerUnreachable;

    // Every started read ends (the reader fails a read that stalls), and the
    // queue is emptied when the last one has.
    if (!command.Downloader1().QueuedFiles().isEmpty()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (command.Downloader1().QueuedFiles().isEmpty())
                loop.quit();
        });
        QObject::connect(&command.Downloader1(), &Downloader::DownloadAllComplete, &loop,
                         &QEventLoop::quit);
        poll.start(100);
        loop.exec();
    }

    bool allCompleted = true;
    for (const DownloadListModel::Row &row : command.downloadList().rows())
        allCompleted = allCompleted && row.status == QLatin1String("Completed");
    command.Timer3_Timer([&] {
        engine =
            reloadDatabases(paths, engine->tables(), command.flags().UpdateInstalled, bar).engine;
    });
    // A server that answered no fetch at all (refused connections, an
    // unknown host) is as unreachable as one that timed out.
    if (command.answeredFetches() == 0)
        return UpdateServerUnreachable;
    return allCompleted ? UpdateSucceeded : UpdateDownloadFailed;
}
