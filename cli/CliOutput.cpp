#include "cli/CliOutput.h"

#include "platform/VisibleText.h"

#include <QStringList>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

void print(std::FILE *stream, const QString &text)
{
    VisibleText::Style style;
    style.doubleBackslash = false;
    style.keepTab = true;
    QByteArray bytes;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        bytes += VisibleText::fromUtf8Bytes(line.toUtf8(), style) + '\n';
    }
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void CliOutput::out(const QString &text)
{
    print(stdout, text);
}

void CliOutput::err(const QString &text)
{
    print(stderr, text);
}

QString CliOutput::field(const QString &text)
{
    return fieldBytes(text.toUtf8());
}

QString CliOutput::fieldBytes(QByteArrayView bytes)
{
    return QString::fromUtf8(VisibleText::fromUtf8Bytes(bytes, VisibleText::Style{}));
}

bool CliOutput::stderrIsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}
