#include "cli/CliOutput.h"

#include <QTextStream>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

void CliOutput::out(const QString &line)
{
    QTextStream(stdout) << line << '\n';
}

void CliOutput::err(const QString &line)
{
    QTextStream(stderr) << line << '\n';
}

QString CliOutput::escaped(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else
            out += c;
    }
    return out;
}

bool CliOutput::stderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}
