#include "tools/dbtool/CheckCommand.h"

#include "databases/DatabaseLoader.h"
#include "tools/dbtool/DbToolCommand.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString at(int index, const QString &what)
{
    return QStringLiteral("line %1: %2").arg(index + 1).arg(what);
}

bool isLowerHex(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]*$"));
    return hex.match(text).hasMatch();
}

} // namespace

QStringList checkCookDb(const QStringList &lines)
{
    QStringList faults;
    int section = 1;
    bool ended = false;
    bool inCookies = false;
    bool seenHeader = false;
    for (int i = 0; i < lines.size() && !ended; ++i) {
        const QString &e = lines[i];
        if (e.startsWith(QLatin1String("--ME-"))) {
            section = 2;
        } else if (e.startsWith(QLatin1String("<<<>>"))) {
            ended = true;
        } else if (e.startsWith(QLatin1String("[[[")) || section == 2) {
            continue;
        } else if (e.startsWith(QLatin1String("***"))) {
            seenHeader = true;
            inCookies = e.contains(QLatin1String("Tracking Cookie"));
        } else if (e.isEmpty()) {
            faults << at(i, QStringLiteral("empty pattern"));
        } else if (!seenHeader) {
            faults << at(i, QStringLiteral("pattern before the first \"***\" header"));
        } else if (inCookies && e.size() < 16) {
            faults << at(i, QStringLiteral("cookie pattern shorter than 16 characters"));
        } else if (e.count(QLatin1Char('[')) > e.count(QLatin1Char(']'))) {
            faults << at(i, QStringLiteral("unclosed \"[\" in pattern"));
        }
    }
    if (section != 2)
        faults << QStringLiteral("missing \"--ME-\" marker");
    if (!ended)
        faults << QStringLiteral("missing \"<<<>>\" marker");
    return faults;
}

QStringList checkTrojSig(const QStringList &lines)
{
    QStringList faults;
    QString previous;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &e = lines[i];
        if (e.startsWith(QLatin1String("[[[")))
            continue;
        if (e.isEmpty()) {
            faults << at(i, QStringLiteral("empty line ends every search"));
            continue;
        }
        const QString md5 = e.left(32);
        const bool longForm = e.contains(QLatin1Char(':'));
        if (e.size() < 34 || md5.size() != 32 || !isLowerHex(md5)) {
            faults << at(i, QStringLiteral("first digest is not 32 lower-case hex digits"));
        } else if (longForm &&
                   (e.size() < 75 || e[32] != QLatin1Char(':') || !isLowerHex(e.mid(33, 40)))) {
            faults << at(
                i, QStringLiteral("entry with \":\" needs a 40-digit second digest and a name"));
        }
        if (!previous.isEmpty() && md5 < previous)
            faults << at(i, QStringLiteral("not sorted by its first digest"));
        previous = md5;
    }
    return faults;
}

QStringList checkRegDb(const QStringList &lines)
{
    static const QStringList roots = {
        QStringLiteral("HKEY_CLASSES_ROOT"),     QStringLiteral("HKEY_CURRENT_USER"),
        QStringLiteral("HKEY_LOCAL_MACHINE"),    QStringLiteral("HKEY_USERS"),
        QStringLiteral("HKEY_PERFORMANCE_DATA"), QStringLiteral("HKEY_CURRENT_CONFIG"),
        QStringLiteral("HKEY_DYN_DATA")};
    QStringList faults;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &e = lines[i];
        if (e.startsWith(QLatin1String("[[[")) || e.startsWith(QLatin1String("***")) ||
            e.contains(QLatin1Char('*')))
            continue;
        const qsizetype slash = e.indexOf(QLatin1Char('\\'));
        if (slash < 0) {
            faults << at(i, QStringLiteral("registry entry without \"\\\""));
        } else if (!roots.contains(e.left(slash))) {
            faults << at(i, QStringLiteral("unknown root \"%1\"").arg(e.left(slash)));
        } else if (e.count(QLatin1Char('"')) % 2 != 0) {
            faults << at(i, QStringLiteral("unbalanced double quotes"));
        }
    }
    return faults;
}

int runCheck(const QStringList &arguments)
{
    QStringList args = arguments;
    QString kind;
    if (args.size() == 3 && args[0] == QLatin1String("--kind")) {
        kind = args[1];
        args = args.mid(2);
    }
    if (args.size() != 1) {
        printError(
            QStringLiteral("usage: torvakine-dbtool check [--kind cookdb|trojsig|regdb] FILE"));
        return 2;
    }
    const QString path = args[0];
    if (kind.isEmpty()) {
        const QString name = QFileInfo(path).fileName().toLower();
        for (const char *k : {"cookdb", "trojsig", "regdb"})
            if (name.contains(QLatin1String(k)))
                kind = QLatin1String(k);
    }
    QByteArray plain;
    if (!decipherDatabaseFile(path, &plain)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read %1").arg(path));
            return 2;
        }
        plain = file.readAll();
    }
    // Plain files written on Linux end lines with LF alone.
    const QStringList lines =
        databaseLines(QByteArray(plain).replace("\r\n", "\r").replace('\n', '\r'));
    QStringList faults;
    if (kind == QLatin1String("cookdb"))
        faults = checkCookDb(lines);
    else if (kind == QLatin1String("trojsig"))
        faults = checkTrojSig(lines);
    else if (kind == QLatin1String("regdb"))
        faults = checkRegDb(lines);
    else {
        printError(QStringLiteral("cannot tell the kind of %1: use --kind").arg(path));
        return 2;
    }
    for (const QString &fault : faults)
        printOut(path + QStringLiteral(": ") + fault);
    if (faults.isEmpty())
        printOut(path + QStringLiteral(": ok (%1 lines)").arg(lines.size()));
    return faults.isEmpty() ? 0 : 1;
}
