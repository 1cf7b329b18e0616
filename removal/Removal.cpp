#include "removal/Removal.h"

#include "platform/FileRemoval.h"
#include "platform/TextFiles.h"
#include "removal/RegistryRowRemoval.h"
#include "scanner/ScanSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace {

bool isReadOnly(const QFileInfo &info)
{
    return !(info.permissions() & QFileDevice::WriteOwner);
}

// The rewritten content of a cookie file: every line but the cookie line and
// the lines that are a lone LF.  A last line without LF is kept.
std::optional<QByteArray> rewrittenCookies(const QString &path, const QByteArray &cookieLine)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray out;
    QByteArray pending;
    QByteArray chunk;
    while (!(chunk = file.read(1 << 16)).isEmpty()) {
        qsizetype start = 0;
        for (qsizetype lf; (lf = chunk.indexOf('\n', start)) >= 0; start = lf + 1) {
            pending.append(chunk.constData() + start, lf - start + 1);
            if (pending.size() != 1 && pending != cookieLine)
                out += pending;
            pending.clear();
        }
        pending.append(chunk.constData() + start, chunk.size() - start);
    }
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    out += pending;
    return out;
}

struct CookieRow {
    QString path;
    QString line;
};

// Splits the part of a cookie row after its browser prefix into the cookie
// file's path and the cookie line.  A folder name may hold "+", so the path
// ends at the first "cookies.txt+" (in any letter case) that names an
// existing file, and the line is everything after that "+".  Without such a
// file the path ends at the first "+" and the line starts after the last.
CookieRow splitCookieRow(const QString &rest)
{
    static const QLatin1String name("cookies.txt+");
    for (qsizetype at = rest.indexOf(name, 0, Qt::CaseInsensitive); at >= 0;
         at = rest.indexOf(name, at + 1, Qt::CaseInsensitive)) {
        const qsizetype plus = at + name.size() - 1;
        if (QFileInfo(rest.left(plus)).isFile())
            return {rest.left(plus), rest.mid(plus + 1)};
    }
    const qsizetype firstPlus = rest.indexOf(QLatin1Char('+'));
    const qsizetype lastPlus = rest.lastIndexOf(QLatin1Char('+'));
    return {firstPlus < 0 ? rest : rest.left(firstPlus),
            lastPlus < 0 ? QString() : rest.mid(lastPlus + 1)};
}

// A path that holds the replacement character was decoded from a name that
// is not valid in the file system's encoding: it may name another file than
// the one that was found, so nothing is removed through it.
bool isFaithfulPath(const QString &path)
{
    return !path.contains(QChar::ReplacementCharacter);
}

} // namespace

void recordRemovalFailure(const ScanSession &session, const QString &path)
{
    appendReportLines(session.reportPath(),
                      {session.Lingua(31) + QLatin1Char(' ') + path, reportRecordSeparator()});
}

void DestroyFile(ScanSession &session, const QString &FilePath)
{
    if (!isFaithfulPath(FilePath) || !removeFileWithoutForce(QFile::encodeName(FilePath)))
        recordRemovalFailure(session, FilePath);
}

void RemoveMozillaCookie(ScanSession &session, const QString &Oggetto)
{
    const QString rest = Oggetto.mid(Oggetto.startsWith(QLatin1String("mozilla:")) ? 8 : 9);
    const CookieRow row = splitCookieRow(rest);
    const QString &cookiePath = row.path;
    const QByteArray cookieLine = row.line.toLatin1();
    const QString companionPath = cookiePath.left(cookiePath.size() - 3) + QStringLiteral("new");

    const QFileInfo info(cookiePath);
    const std::optional<QByteArray> content = info.isFile() && isFaithfulPath(cookiePath)
                                                  ? rewrittenCookies(cookiePath, cookieLine)
                                                  : std::nullopt;
    if (!content) {
        recordRemovalFailure(session, cookiePath);
        return;
    }

    QFile companion(companionPath);
    bool written = companion.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   companion.write(*content) == content->size() && companion.flush();
    companion.close();
    written = written && companion.setPermissions(info.permissions());
    // The old file goes only when it could be deleted without force; the
    // rename then replaces it in one step.
    const bool replaced =
        written && !isReadOnly(info) && TextFiles::replaceFile(companionPath, cookiePath);
    if (!replaced) {
        QFile::remove(companionPath);
        recordRemovalFailure(session, cookiePath);
    }
    session.processEvents();
}

void RemoveListedDetections(ScanSession &session)
{
    ResultListModel &list = session.results();
    const qsizetype n = list.count();
    std::optional<RegistryRowRemoval> registry;
    for (qsizetype i = 1; i <= n; ++i) {
        const QString location = list.row(i).location;
        if (location.isEmpty())
            break;
        if (location.startsWith(QLatin1String("HKEY"))) {
            if (!registry)
                registry.emplace(session.openRegistry(RegistryAccess::ReadWrite));
            if (!registry->removeRow(location))
                recordRemovalFailure(session, location);
        } else if (location.startsWith(QLatin1String("mozilla:")) ||
                   location.startsWith(QLatin1String("netscape:"))) {
            RemoveMozillaCookie(session, location);
        } else if (const std::optional<FoundFile> &found = list.row(i).found;
                   found && !found->isCookieFile) {
            if (!removeFileWithoutForce(found->nativePath))
                recordRemovalFailure(session, location);
        } else {
            DestroyFile(session, location);
        }
    }
    if (registry) {
        for (const QString &hive : registry->finish())
            recordRemovalFailure(session, hive);
    }
    list.clear();
}
