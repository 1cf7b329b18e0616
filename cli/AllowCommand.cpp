#include "cli/AllowCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "scanner/AllowListFile.h"

const char *const kAllowHelp =
    "usage: torvakine-cli allow list [--app-folder DIR]\n"
    "       torvakine-cli allow add [--app-folder DIR] KIND VALUE\n"
    "       torvakine-cli allow remove [--app-folder DIR] N\n"
    "\n"
    "Shows and changes the allow list, allow.dat in the data folder (UTF-8 text,\n"
    "one rule a line, # for comments).  The kinds of rule:\n"
    "  path GLOB     the scan never enters or reads a path that fits GLOB (a full\n"
    "                path; * within a name, ? one character, ** across folders)\n"
    "  threat NAME   detections of that threat are allowed\n"
    "  object TEXT   detections of exactly that object are allowed; TEXT is written\n"
    "                as the scan prints it (\\\\ for \\, \\r, \\n, \\xHH)\n"
    "  sha256 HEX    files with that content are allowed\n"
    "Allowed detections are neither listed nor removed; the summary counts them.\n"
    "\n"
    "list prints each rule with its number (N, a tab, the rule) and names the\n"
    "lines that are no rule on standard error; add appends a rule (KIND and VALUE\n"
    "as one argument or two); remove takes out rule N.\n"
    "\n"
    "Exit status: 0 done, 1 partly done (list: some lines are no rule), 2 error.";

namespace {

constexpr const char *kCommand = "allow";

struct AllowArguments {
    CommonOptions common;
    QString action;
    QStringList operands;
};

std::optional<AllowArguments> parse(const QStringList &args)
{
    AllowArguments a;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString error;
        const CommonOptions::Read read = a.common.take(args, &i, &error);
        // The rules are printed as text only.
        if (read == CommonOptions::Read::Invalid || a.common.json())
            return std::nullopt;
        if (read == CommonOptions::Read::Taken)
            continue;
        if (a.action.isEmpty())
            a.action = args[i];
        else
            a.operands << args[i];
    }
    const bool fits =
        (a.action == QLatin1String("list") && a.operands.isEmpty()) ||
        (a.action == QLatin1String("add") && !a.operands.isEmpty() && a.operands.size() <= 2) ||
        (a.action == QLatin1String("remove") && a.operands.size() == 1);
    if (!fits)
        return std::nullopt;
    return a;
}

// The rules as printed: the number, a tab, the rule.
void printRules(const QList<AllowRule> &rules, qsizetype firstNumber)
{
    for (qsizetype i = 0; i < rules.size(); ++i)
        CliOutput::out(QString::number(firstNumber + i) + QLatin1Char('\t') + rules[i].text());
}

} // namespace

int runAllowCommand(const QStringList &args)
{
    const std::optional<AllowArguments> a = parse(args);
    if (!a) {
        CliOutput::err(QString::fromLatin1(kAllowHelp));
        return 2;
    }
    const std::optional<CliSession> cli = CliSession::start(a->common, kCommand, false);
    if (!cli)
        return 2;
    const QString path = cli->paths.writeFile(AllowListFile::fileName());
    AllowListFile file;
    if (!file.read(path)) {
        CliOutput::err(QStringLiteral("torvakine-cli: %1 cannot be read").arg(path));
        return 2;
    }
    if (a->action == QLatin1String("list")) {
        printRules(file.rules(), 1);
        const QStringList problems = file.problems();
        for (const QString &problem : problems)
            CliOutput::err(QStringLiteral("torvakine-cli: %1 %2").arg(path, problem));
        return problems.isEmpty() ? 0 : 1;
    }
    if (a->action == QLatin1String("add")) {
        QString error;
        const std::optional<AllowRule> rule =
            AllowRule::parse(a->operands.join(QLatin1Char(' ')), &error);
        if (!rule) {
            CliOutput::err(QStringLiteral("torvakine-cli: ") + error);
            return 2;
        }
        file.add(*rule);
        if (!file.write(path)) {
            CliOutput::err(QStringLiteral("torvakine-cli: %1 cannot be written").arg(path));
            return 2;
        }
        printRules({*rule}, file.rules().size());
        return 0;
    }
    bool ok = false;
    const qsizetype n = a->operands[0].toLongLong(&ok);
    if (!ok || !file.remove(n)) {
        CliOutput::err(QStringLiteral("torvakine-cli: there is no rule %1").arg(a->operands[0]));
        return 2;
    }
    if (!file.write(path)) {
        CliOutput::err(QStringLiteral("torvakine-cli: %1 cannot be written").arg(path));
        return 2;
    }
    return 0;
}
