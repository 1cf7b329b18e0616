#include "update/UpdateRun.h"

#include "update/DatabaseReload.h"
#include "update/UpdateCommand.h"

#include <QEventLoop>
#include <QTimer>

UpdateRunResult runUpdateToEnd(UpdateCommand &command, const AppPaths &paths, EngineHandle &engine,
                               FileWriter &files, ProgressIndicator &bar)
{
    switch (command.check(engine->tables())) {
    case UpdateCommand::Outcome::ServerUnreachable:
        return UpdateServerUnreachable;
    case UpdateCommand::Outcome::Refused:
    case UpdateCommand::Outcome::Busy:
        return UpdateFailed;
    case UpdateCommand::Outcome::Checked:
        break;
    }

    // Every started read ends (the reader fails a read that stalls or
    // outruns its deadline), and the queue is emptied when the last one has.
    Downloader &queue = command.downloadQueue();
    if (!queue.QueuedFiles().isEmpty()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (queue.QueuedFiles().isEmpty())
                loop.quit();
        });
        QObject::connect(&queue, &Downloader::DownloadAllComplete, &loop, &QEventLoop::quit);
        poll.start(100);
        loop.exec();
    }

    bool allCompleted = true;
    for (const DownloadListModel::Row &row : command.downloadList().rows())
        allCompleted = allCompleted && row.status == QLatin1String("Completed");
    command.installWhenDownloaded([&] {
        ReloadResult reloaded =
            reloadDatabases(paths, engine->tables(), command.flags().UpdateInstalled, files, bar);
        engine = std::move(reloaded.engine);
        return reloaded.updDatSaved;
    });
    return allCompleted && command.notes().isEmpty() ? UpdateSucceeded : UpdateFailed;
}
