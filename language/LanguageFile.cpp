#include "language/LanguageFile.h"

#include "language/LanguageTexts.h"
#include "platform/AppPaths.h"
#include "platform/Cp1252.h"

#include <QFile>

#include <algorithm>

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

int readLanguageText(const QByteArray &bytes, LanguageTexts &texts)
{
    qsizetype pos = 0;
    QByteArray item;
    int n = 0;
    while (n < LanguageTexts::kLastEntry && nextItem(bytes, pos, &item))
        texts.setText(++n, Cp1252::toUnicode(item));
    return n;
}

int readLanguageFile(const QString &path, LanguageTexts &texts)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // A language file is a few hundred bytes; a larger one is not a
    // language file and is read only as far as the first 64 KiB go.
    return readLanguageText(file.read(64 * 1024), texts);
}

void readCurrentLanguage(const AppPaths &paths, LanguageTexts &texts)
{
    const int read = readLanguageFile(paths.file(QStringLiteral("lang.dat")), texts);
    if (read >= LanguageTexts::kLastEntry)
        return;
    LanguageTexts english;
    readLanguageFile(paths.LanguageFolder + QStringLiteral("english"), english);
    for (int n = std::max(read + 1, LanguageTexts::kFirstFileEntries + 1);
         n <= LanguageTexts::kLastEntry; ++n)
        texts.setText(n, english.Lingua(n));
}
