#include "cli/UpdateCommandLine.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "platform/DiskFileWriter.h"
#include "platform/ProgressIndicator.h"
#include "update/UpdateCommand.h"
#include "update/UpdateRun.h"

const char *const kUpdateHelp =
    "usage: torvakine-cli update [--app-folder DIR]\n"
    "\n"
    "Fetches the update server's signed update list, compares the versions of\n"
    "the three databases with the server's, downloads those that differ and\n"
    "installs each only when it is the file the list names (size and SHA-256),\n"
    "then prints each download with its status (and, after \"Error\", why), the\n"
    "databases being up to date when nothing needed downloading, \"New version\n"
    "available\" when a newer program is published, and the server's message.\n"
    "The server is the compiled-in base URL, or the first line of server.dat in\n"
    "the application folder.\n"
    "\n"
    "Exit status: 0 success, 1 the update list was refused, a download failed or\n"
    "was refused, or a file could not be written, 2 the server could not be\n"
    "reached or the folder is missing.";

int runUpdateCommandLine(const QStringList &args)
{
    QString appFolder;
    if (!CliSession::parseAppFolderOnly(args, kUpdateHelp, &appFolder))
        return 2;
    std::optional<CliSession> session = CliSession::start(appFolder);
    if (!session)
        return 2;
    const LanguageTexts &texts = session->texts;
    DiskFileWriter files;
    UpdateCommand command(session->paths, files);
    QObject::connect(&command, &UpdateCommand::serverTimedOut, [&texts] {
        CliOutput::err(QStringLiteral("torvakine-cli: ") + texts.Lingua(20));
    });
    SilentProgress bar;
    const UpdateRunResult result =
        runUpdateToEnd(command, session->paths, session->engine, files, bar);
    // Problems of the update as a whole and of files that are not rows.
    for (const UpdateNote &note : command.notes()) {
        bool ofRow = false;
        for (const DownloadListModel::Row &row : command.downloadList().rows())
            ofRow = ofRow || (row.problem && row.text == note.subject);
        if (!ofRow)
            CliOutput::err(QStringLiteral("torvakine-cli: ") + updateNoteText(texts, note));
    }
    if (result == UpdateServerUnreachable)
        return 2;
    for (const DownloadListModel::Row &row : command.downloadList().rows()) {
        QString line = row.text + QLatin1Char('\t') + row.status;
        if (row.problem)
            line += QLatin1Char('\t') + updateProblemText(texts, *row.problem);
        CliOutput::out(line);
    }
    if (result == UpdateSucceeded && command.downloadList().rows().isEmpty())
        CliOutput::out(texts.Lingua(24));
    if (command.newVersionAvailable())
        CliOutput::out(QStringLiteral("New version available"));
    if (!command.message().isEmpty())
        CliOutput::out(command.message());
    return int(result);
}
