#pragma once

#include <QString>
#include <QStringList>

// The options every command of torvakine-cli takes: --app-folder DIR and
// --format text|json.
struct CommonOptions {
    enum class Format { Text, Json };
    enum class Read { Taken, NotCommon, Invalid };

    QString appFolder; // empty: the data folders of the executable
    Format format = Format::Text;

    bool json() const { return format == Format::Json; }

    // Reads args[*i] when it is a common option, and its value: Taken moves
    // *i onto the value.  Invalid, with *error set, for a common option
    // without a value or with a value it does not take.
    Read take(const QStringList &args, qsizetype *i, QString *error);

    // Ends a command that could not run: "torvakine-cli: " and message on
    // standard error, then help when given and, with --format json, the
    // summary alone with message as its error.  Returns the exit status, 2.
    int cannotRun(const char *command, const QString &message, const char *help = nullptr) const;
};

// Reads the arguments of a command that takes the common options only.
// False, after cannotRun, for anything else.
bool parseCommonOptionsOnly(const QStringList &args, const char *command, const char *help,
                            CommonOptions *options);
