// torvakine-cli: the scanner without windows, for scripted and scheduled use.
#include "cli/AllowCommand.h"
#include "cli/CliOutput.h"
#include "cli/InfoCommand.h"
#include "cli/QuarantineCommand.h"
#include "cli/ScanCommand.h"
#include "cli/UpdateCommandLine.h"

#include <QCoreApplication>

namespace {

struct CliCommand {
    const char *name;
    int (*run)(const QStringList &args);
    const char *const *help;
};

const CliCommand kCommands[] = {
    {"scan", runScanCommand, &kScanHelp},    {"update", runUpdateCommandLine, &kUpdateHelp},
    {"info", runInfoCommand, &kInfoHelp},    {"quarantine", runQuarantineCommand, &kQuarantineHelp},
    {"allow", runAllowCommand, &kAllowHelp},
};

const char *const kUsage = "usage: torvakine-cli scan|update|info|quarantine|allow [options]\n"
                           "       torvakine-cli COMMAND --help";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Torvakine"));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        (args.isEmpty() ? CliOutput::err : CliOutput::out)(QString::fromLatin1(kUsage));
        return args.isEmpty() ? 2 : 0;
    }
    for (const CliCommand &c : kCommands) {
        if (args[0] != QLatin1String(c.name))
            continue;
        if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
            CliOutput::out(QString::fromLatin1(*c.help));
            return 0;
        }
        return c.run(args.mid(1));
    }
    CliOutput::err(QStringLiteral("torvakine-cli: unknown command %1").arg(args[0]));
    CliOutput::err(QString::fromLatin1(kUsage));
    return 2;
}
