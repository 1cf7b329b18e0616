#include "language/LanguageFile.h"

#include "language/Lingua.h"
#include "platform/Cp1252.h"
#include "platform/StartupState.h"

#include <QDir>
#include <QFile>

namespace {

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Reads the next item starting at pos; false at the end of the text.
bool nextItem(const QByteArray &bytes, qsizetype &pos, QByteArray *item)
{
    const qsizetype n = bytes.size();
    while (pos < n && (bytes[pos] == ' ' || isLineEnd(bytes[pos])))
        ++pos;
    if (pos >= n)
        return false;
    if (bytes[pos] == '"') {
        const qsizetype close = bytes.indexOf('"', pos + 1);
        const qsizetype end = close < 0 ? n : close;
        *item = bytes.mid(pos + 1, end - pos - 1);
        pos = end + 1;
        while (pos < n && bytes[pos] != ',' && !isLineEnd(bytes[pos]))
            ++pos;
    } else {
        const qsizetype start = pos;
        while (pos < n && bytes[pos] != ',' && !isLineEnd(bytes[pos]))
            ++pos;
        qsizetype end = pos;
        while (end > start && bytes[end - 1] == ' ')
            --end;
        *item = bytes.mid(start, end - start);
    }
    if (pos < n && bytes[pos] == ',')
        ++pos;
    return true;
}

} // namespace

void readLanguageText(const QByteArray &bytes)
{
    qsizetype pos = 0;
    QByteArray item;
    for (size_t i = 1; i <= 34; ++i) {
        if (!nextItem(bytes, pos, &item))
            return;
        languageState().Lingua[i] = Cp1252::toUnicode(item);
    }
}

void readLanguageFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // A language file is a few hundred bytes; a larger one is not a
    // language file and is read only as far as the first 64 KiB go.
    readLanguageText(file.read(64 * 1024));
}

void readCurrentLanguage()
{
    readLanguageFile(applicationFolder() + QDir::separator() + QStringLiteral("lang.dat"));
}
