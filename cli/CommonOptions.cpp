#include "cli/CommonOptions.h"

#include "cli/CliOutput.h"
#include "cli/JsonLines.h"

CommonOptions::Read CommonOptions::take(const QStringList &args, qsizetype *i, QString *error)
{
    const QString &a = args[*i];
    const bool appFolderOption = a == QLatin1String("--app-folder");
    if (!appFolderOption && a != QLatin1String("--format"))
        return Read::NotCommon;
    if (*i + 1 >= args.size()) {
        *error = QStringLiteral("%1 needs a value").arg(a);
        return Read::Invalid;
    }
    const QString &value = args[++*i];
    if (appFolderOption) {
        appFolder = value;
    } else if (value == QLatin1String("text")) {
        format = Format::Text;
    } else if (value == QLatin1String("json")) {
        format = Format::Json;
    } else {
        *error = QStringLiteral("--format takes text or json");
        return Read::Invalid;
    }
    return Read::Taken;
}

int CommonOptions::cannotRun(const char *command, const QString &message, const char *help) const
{
    constexpr int kExitStatus = 2;
    CliOutput::err(QStringLiteral("torvakine-cli: ") + message);
    if (help)
        CliOutput::err(QString::fromLatin1(help));
    if (json())
        JsonLines::print(JsonLines::summary(command, message, kExitStatus));
    return kExitStatus;
}

bool parseCommonOptionsOnly(const QStringList &args, const char *command, const char *help,
                            CommonOptions *options)
{
    // Every argument is read before the first fault is told, so that
    // --format json counts wherever it stands.
    QString fault;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString error;
        const CommonOptions::Read read = options->take(args, &i, &error);
        if (read == CommonOptions::Read::NotCommon)
            error = QStringLiteral("unexpected argument %1").arg(CliOutput::field(args[i]));
        if (fault.isEmpty())
            fault = error;
    }
    if (fault.isEmpty())
        return true;
    options->cannotRun(command, fault, help);
    return false;
}
