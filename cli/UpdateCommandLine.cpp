#include "cli/UpdateCommandLine.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "platform/ProgressIndicator.h"
#include "update/UpdateCommand.h"
#include "update/UpdateRun.h"

const char *const kUpdateHelp =
    "usage: torvakine-cli update [--app-folder DIR]\n"
    "\n"
    "Compares the versions of the three databases with the update server's,\n"
    "downloads those that differ and installs them, then prints each download\n"
    "with its status, \"New version available\" when a newer program is\n"
    "published, and the server's message.  The server is the compiled-in base\n"
    "URL, or the first line of server.dat in the application folder.\n"
    "\n"
    "Exit status: 0 success, 1 a download failed, 2 the server could not be\n"
    "reached or the folder is missing.";

int runUpdateCommandLine(const QStringList &args)
{
    QString appFolder;
    if (!CliSession::parseAppFolderOnly(args, kUpdateHelp, &appFolder))
        return 2;
    std::optional<CliSession> session = CliSession::start(appFolder);
    if (!session)
        return 2;
    UpdateCommand command(session->paths);
    QObject::connect(&command, &UpdateCommand::serverTimedOut, [&session] {
        CliOutput::err(QStringLiteral("torvakine-cli: ") + session->texts.Lingua(20));
    });
    SilentProgress bar;
    const UpdateRunResult result = runUpdateToEnd(command, session->paths, session->engine, bar);
    if (result == UpdateServerUnreachable) {
        CliOutput::err(QStringLiteral("torvakine-cli: the update server could not be reached"));
        return 2;
    }
    for (const DownloadListModel::Row &row : command.downloadList().rows())
        CliOutput::out(row.text + QLatin1Char('\t') + row.status);
    if (command.newVersionAvailable())
        CliOutput::out(QStringLiteral("New version available"));
    if (!command.message().isEmpty())
        CliOutput::out(command.message());
    return int(result);
}
