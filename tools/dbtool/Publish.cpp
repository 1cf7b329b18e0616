#include "tools/dbtool/Publish.h"

#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseLoader.h"
#include "platform/Cp1252.h"
#include "platform/TextFiles.h"
#include "tools/dbtool/CheckCommand.h"
#include "tools/dbtool/DbToolCommand.h"
#include "tools/dbtool/SigningCommands.h"
#include "update/BuildStamp.h"
#include "update/UpdateManifest.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTime>

#include <limits>

namespace {
struct PublishedDatabase {
    const char *name; // cookdb, trojsig, regdb
    QStringList (*check)(const QStringList &lines);
};

const PublishedDatabase kDatabases[] = {
    {"cookdb", checkCookDb},
    {"trojsig", checkTrojSig},
    {"regdb", checkRegDb},
};

bool readFile(const QString &path, QByteArray *bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    *bytes = f.readAll();
    return true;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    if (!TextFiles::writeAtomically(path, bytes)) {
        printError(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    return true;
}

const QByteArray kPlaceholderInstaller =
    "This is a placeholder for the Torvakine installer of the demo update repository.\r\n";

constexpr int kDefaultValidDays = 14;
constexpr int kMaximumValidDays = 3650;
} // namespace

QString publishUsage()
{
    return QStringLiteral(
               "usage: torvakine-dbtool publish PLAINDIR OUTDIR [options]\n"
               "\n"
               "Writes an update repository into OUTDIR from the plain-text databases\n"
               "PLAINDIR/cookdb.txt, PLAINDIR/trojsig.txt and PLAINDIR/regdb.txt:\n"
               "  OUTDIR/newupd/cookdb.dat, trojsig.dat, regdb.dat   enciphered databases\n"
               "  OUTDIR/newupd/cookdb.ver, trojsig.ver, regdb.ver   their versions (one line)\n"
               "  OUTDIR/newupd/torvakine.ver                        the newest build stamp\n"
               "  OUTDIR/newupd/msg.txt                              the message to the users\n"
               "  OUTDIR/newupd/manifest                             the update list: each\n"
               "        database's name, size, SHA-256 and version, the build stamp, the\n"
               "        sequence number and the expiry\n"
               "  OUTDIR/newupd/manifest.sig                         its Ed25519 signature\n"
               "  OUTDIR/files/Torvakine_Setup.exe                   the installer\n"
               "Serve OUTDIR over HTTP (for example with torvakine-dbtool serve) and put\n"
               "its URL into the program's server.dat.  The program installs a database\n"
               "only from an update list that is signed with the key its build carries,\n"
               "not expired, and not older (by sequence number) than one it accepted\n"
               "before, and only when the file is the listed one.\n"
               "\n"
               "  --sign-key KEY    the publisher's Ed25519 private key (see keygen); required\n"
               "\n"
               "options:\n"
               "  --version-cookdb V, --version-trojsig V, --version-regdb V\n"
               "        set the database's version line to \"[[[V\"; without it the\n"
               "        database's own last \"[[[\" line gives the version\n"
               "  --build-stamp S   first line of torvakine.ver (default %1, this build's\n"
               "                    stamp: no new-version notice)\n"
               "  --message FILE    msg.txt is a copy of FILE (default PLAINDIR/msg.txt when\n"
               "                    it exists, else an empty message)\n"
               "  --installer FILE  copy FILE as the installer (default a placeholder text)\n"
               "  --sequence N      the publication's sequence number (default the current\n"
               "                    Unix time); each publication needs a number at least as\n"
               "                    high as the one before\n"
               "  --valid-days D    the update list expires D days from now (default %2, at\n"
               "                    most %3); publish again before then\n"
               "\n"
               "A database with structure faults (see check), or larger than %4 bytes once\n"
               "enciphered, is not published, and nothing is written.\n"
               "Exit status: 0 published, 1 failed, 2 wrong arguments.")
        .arg(QLatin1String(BuildStamp))
        .arg(kDefaultValidDays)
        .arg(kMaximumValidDays)
        .arg(UpdateManifest::MaximumDatabaseSize);
}

QByteArray withVersionLine(const QByteArray &plainText, const QByteArray &version)
{
    QByteArray out = "[[[" + version + "\r\n";
    const QList<QByteArray> lines = withCrLf(plainText).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (i == lines.size() - 1 && line.isEmpty())
            break;
        if (line.startsWith("[[["))
            continue;
        out += line + "\r\n";
    }
    return out;
}

QByteArray versionOf(const QByteArray &plainText, bool *ok)
{
    *ok = false;
    QByteArray version;
    const QStringList lines = databaseLines(withCrLf(plainText));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("<<<>>")))
            break;
        if (line.startsWith(QLatin1String("[[["))) {
            version = Cp1252::fromUnicode(line.mid(3));
            *ok = true;
        }
    }
    return version;
}

int runPublish(const QStringList &args)
{
    QStringList positional;
    QHash<QString, QByteArray> versions;
    QByteArray stamp = BuildStamp;
    QString messageFile;
    QString installerFile;
    QString signKeyFile;
    quint64 sequence = quint64(QDateTime::currentSecsSinceEpoch());
    int validDays = kDefaultValidDays;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            printOut(publishUsage());
            return 0;
        }
        if (!a.startsWith(QLatin1String("--"))) {
            positional.append(a);
            continue;
        }
        if (i + 1 >= args.size()) {
            printError(QStringLiteral("%1 needs a value").arg(a));
            return 2;
        }
        const QString value = args[++i];
        if (a.startsWith(QLatin1String("--version-"))) {
            const QString db = a.mid(10);
            if (db != QLatin1String("cookdb") && db != QLatin1String("trojsig") &&
                db != QLatin1String("regdb")) {
                printError(QStringLiteral("unknown option %1").arg(a));
                return 2;
            }
            versions.insert(db, Cp1252::fromUnicode(value));
        } else if (a == QLatin1String("--build-stamp")) {
            stamp = Cp1252::fromUnicode(value);
        } else if (a == QLatin1String("--message")) {
            messageFile = value;
        } else if (a == QLatin1String("--installer")) {
            installerFile = value;
        } else if (a == QLatin1String("--sign-key")) {
            signKeyFile = value;
        } else if (a == QLatin1String("--sequence")) {
            bool ok = false;
            sequence = value.toULongLong(&ok);
            if (!ok || value.isEmpty() || !value.front().isDigit()) {
                printError(QStringLiteral("--sequence takes a number from 0 to %1")
                               .arg(std::numeric_limits<quint64>::max()));
                return 2;
            }
        } else if (a == QLatin1String("--valid-days")) {
            bool ok = false;
            validDays = value.toInt(&ok);
            if (!ok || validDays < 1 || validDays > kMaximumValidDays) {
                printError(QStringLiteral("--valid-days takes a number from 1 to %1")
                               .arg(kMaximumValidDays));
                return 2;
            }
        } else {
            printError(QStringLiteral("unknown option %1").arg(a));
            return 2;
        }
    }
    if (positional.size() != 2) {
        printError(QStringLiteral("usage: torvakine-dbtool publish PLAINDIR OUTDIR [options] "
                                  "(publish --help tells more)"));
        return 2;
    }
    for (const QByteArray &v : std::as_const(versions)) {
        if (v.contains('\r') || v.contains('\n')) {
            printError(QStringLiteral("a version is one line"));
            return 2;
        }
    }
    if (stamp.contains('\r') || stamp.contains('\n')) {
        printError(QStringLiteral("the build stamp is one line"));
        return 2;
    }
    if (signKeyFile.isEmpty()) {
        printError(QStringLiteral("publish needs --sign-key KEY: the program installs updates "
                                  "only from a signed update list"));
        return 2;
    }

    const QDir plainDir(positional[0]);
    const QDir outDir(positional[1]);
    // Everything is read and checked before anything is written, so a fault
    // leaves an existing repository as it was.
    QHash<QString, QByteArray> dataFiles;
    QHash<QString, QByteArray> versionFiles;
    QByteArray signKey;
    if (!readFile(signKeyFile, &signKey)) {
        printError(QStringLiteral("cannot read %1").arg(signKeyFile));
        return 1;
    }
    UpdateManifest manifest;
    manifest.sequence = sequence;
    // The expiry is written to the second.
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    manifest.expires = now.addDays(validDays);
    manifest.buildStamp = stamp;
    for (const PublishedDatabase &db : kDatabases) {
        const QString name = QString::fromLatin1(db.name);
        const QString source = plainDir.filePath(name + QStringLiteral(".txt"));
        QByteArray plain;
        if (!readFile(source, &plain)) {
            printError(QStringLiteral("cannot read %1").arg(source));
            return 1;
        }
        if (versions.contains(name))
            plain = withVersionLine(plain, versions.value(name));
        bool hasVersion = false;
        const QByteArray version = versionOf(plain, &hasVersion);
        if (!hasVersion) {
            printError(QStringLiteral("%1 has no \"[[[\" version line; give --version-%2")
                           .arg(source, name));
            return 1;
        }
        const QStringList faults = db.check(databaseLines(withCrLf(plain)));
        if (!faults.isEmpty()) {
            for (const QString &f : faults)
                printError(source + QStringLiteral(": ") + f);
            return 1;
        }
        const QByteArray data = encodeDatabase(plain);
        if (data.size() > UpdateManifest::MaximumDatabaseSize) {
            printError(QStringLiteral("%1 is %2 bytes enciphered; the program downloads at most "
                                      "%3 bytes")
                           .arg(source)
                           .arg(data.size())
                           .arg(UpdateManifest::MaximumDatabaseSize));
            return 1;
        }
        dataFiles.insert(name, data);
        versionFiles.insert(name, version + "\r\n");
        ManifestDatabase listed;
        listed.fileName = name + QStringLiteral(".dat");
        listed.size = data.size();
        listed.sha256 = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        listed.version = version;
        manifest.databases.append(listed);
    }
    const QByteArray manifestBytes = manifest.toBytes();
    const QByteArray manifestSignature = signatureFileFor(signKey, manifestBytes);
    if (manifestSignature.isEmpty()) {
        printError(QStringLiteral("%1 is not an Ed25519 private key").arg(signKeyFile));
        return 1;
    }
    QByteArray message;
    const QString messageSource =
        messageFile.isEmpty() ? plainDir.filePath(QStringLiteral("msg.txt")) : messageFile;
    if (!readFile(messageSource, &message) && !messageFile.isEmpty()) {
        printError(QStringLiteral("cannot read %1").arg(messageFile));
        return 1;
    }
    QByteArray installer = kPlaceholderInstaller;
    if (!installerFile.isEmpty() && !readFile(installerFile, &installer)) {
        printError(QStringLiteral("cannot read %1").arg(installerFile));
        return 1;
    }

    const QString newupd = outDir.filePath(QStringLiteral("newupd"));
    const QString files = outDir.filePath(QStringLiteral("files"));
    if (!QDir().mkpath(newupd) || !QDir().mkpath(files)) {
        printError(QStringLiteral("cannot create %1").arg(outDir.path()));
        return 1;
    }
    // The data files go first and the update list last: a client that
    // reads the new list finds the databases it names already in place.
    for (const PublishedDatabase &db : kDatabases) {
        const QString name = QString::fromLatin1(db.name);
        const QString dataPath = QDir(newupd).filePath(name + QStringLiteral(".dat"));
        if (!writeFile(dataPath, dataFiles.value(name)))
            return 1;
        // Signatures of single files, from an earlier kind of publication,
        // are not used any more.
        QFile::remove(dataPath + QStringLiteral(".sig"));
    }
    for (const PublishedDatabase &db : kDatabases) {
        const QString name = QString::fromLatin1(db.name);
        if (!writeFile(QDir(newupd).filePath(name + QStringLiteral(".ver")),
                       versionFiles.value(name)))
            return 1;
        printOut(QStringLiteral("%1.dat version %2")
                     .arg(name, Cp1252::toUnicode(versionFiles.value(name).trimmed())));
    }
    if (!writeFile(QDir(newupd).filePath(QStringLiteral("torvakine.ver")), stamp + "\r\n") ||
        !writeFile(QDir(newupd).filePath(QStringLiteral("msg.txt")), message) ||
        !writeFile(QDir(files).filePath(QStringLiteral("Torvakine_Setup.exe")), installer) ||
        !writeFile(QDir(newupd).filePath(QStringLiteral("manifest.sig")), manifestSignature) ||
        !writeFile(QDir(newupd).filePath(QStringLiteral("manifest")), manifestBytes))
        return 1;
    printOut(QStringLiteral("update list: sequence %1, expires %2")
                 .arg(manifest.sequence)
                 .arg(manifest.expires.toString(Qt::ISODate)));
    printOut(QStringLiteral("published to %1").arg(outDir.absolutePath()));
    return 0;
}
