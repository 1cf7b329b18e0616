#include "cli/UpdateCommandLine.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/JsonLines.h"
#include "platform/DiskFileWriter.h"
#include "platform/ProgressIndicator.h"
#include "update/UpdateCommand.h"
#include "update/UpdateRun.h"

#include <QFileInfo>
#include <QJsonObject>

const char *const kUpdateHelp =
    "usage: torvakine-cli update [--app-folder DIR] [--format text|json]\n"
    "\n"
    "Fetches the update server's signed update list, compares the versions of\n"
    "the three databases with the server's, downloads those that differ and\n"
    "installs each only when it is the file the list names (size and SHA-256),\n"
    "then prints each download with its status (and, after \"Error\", why), the\n"
    "databases being up to date when nothing needed downloading, \"New version\n"
    "available\" when a newer program is published, and the server's message.\n"
    "Why the whole update was refused goes to standard error.  The server is the\n"
    "compiled-in base URL, or the first line of server.dat in the data folder.\n"
    "\n"
    "  --app-folder DIR  the folder to read from (see scan --help)\n"
    "  --format json     JSON Lines: one object per download, then a summary\n"
    "\n"
    "Exit status: 0 success, 1 the update list was refused, a download failed or\n"
    "was refused, or a file could not be written, 2 the server could not be\n"
    "reached or a folder is missing or cannot be used.";

namespace {

constexpr const char *kCommand = "update";

// The problems of the update as a whole and of files that are not rows, one
// text each, as standard error shows them.
QStringList problemsOutsideRows(UpdateCommand &command, const LanguageTexts &texts)
{
    QStringList problems;
    for (const UpdateNote &note : command.notes()) {
        bool ofRow = false;
        for (const DownloadListModel::Row &row : command.downloadList().rows())
            ofRow = ofRow || (row.problem && row.text == note.subject);
        if (!ofRow)
            problems << updateNoteText(texts, note);
    }
    return problems;
}

void printText(UpdateCommand &command, UpdateRunResult result, const LanguageTexts &texts)
{
    if (result == UpdateServerUnreachable)
        return;
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
}

void printJson(UpdateCommand &command, UpdateRunResult result, const LanguageTexts &texts,
               const QStringList &problems)
{
    const QList<DownloadListModel::Row> &rows = command.downloadList().rows();
    int failed = 0;
    for (const DownloadListModel::Row &row : rows) {
        const bool completed = row.status == QLatin1String("Completed");
        failed += completed ? 0 : 1;
        JsonLines::print(
            {{QStringLiteral("type"), QStringLiteral("download")},
             {QStringLiteral("file"), QFileInfo(row.key).fileName()},
             {QStringLiteral("text"), row.text},
             {QStringLiteral("status"), row.status},
             {QStringLiteral("ok"), completed},
             {QStringLiteral("problem"),
              row.problem ? QJsonValue(updateProblemText(texts, *row.problem)) : QJsonValue()}});
    }
    QString outcome;
    if (result == UpdateServerUnreachable)
        outcome = QStringLiteral("server_unreachable");
    else if (failed > 0)
        outcome = QStringLiteral("download_failed");
    else if (result == UpdateFailed)
        outcome = QStringLiteral("refused");
    else
        outcome = rows.isEmpty() ? QStringLiteral("up_to_date") : QStringLiteral("updated");
    QJsonObject summary = JsonLines::summary(kCommand, problems.join(QLatin1Char('\n')), result);
    summary.insert(QStringLiteral("result"), outcome);
    summary.insert(QStringLiteral("downloads"), rows.size());
    summary.insert(QStringLiteral("failed"), failed);
    summary.insert(QStringLiteral("new_version"), command.newVersionAvailable());
    summary.insert(QStringLiteral("message"), command.message());
    JsonLines::print(summary);
}

} // namespace

int runUpdateCommandLine(const QStringList &args)
{
    CommonOptions options;
    if (!parseCommonOptionsOnly(args, kCommand, kUpdateHelp, &options))
        return 2;
    std::optional<CliSession> session = CliSession::start(options, kCommand);
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
    const QStringList problems = problemsOutsideRows(command, texts);
    for (const QString &problem : problems)
        CliOutput::err(QStringLiteral("torvakine-cli: ") + problem);
    if (options.json())
        printJson(command, result, texts, problems);
    else
        printText(command, result, texts);
    return int(result);
}
