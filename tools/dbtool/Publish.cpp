#include "tools/dbtool/Publish.h"

#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseLoader.h"
#include "platform/Cp1252.h"
#include "platform/TextFiles.h"
#include "tools/dbtool/CheckCommand.h"
#include "tools/dbtool/DbToolCommand.h"
#include "tools/dbtool/SigningCommands.h"
#include "update/BuildStamp.h"

#include <QDir>
#include <QFile>

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
               "  OUTDIR/files/Torvakine_Setup.exe                   the installer\n"
               "Serve OUTDIR over HTTP (for example with torvakine-dbtool serve) and put\n"
               "its URL into the program's server.dat.\n"
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
               "  --sign-key KEY    sign each database with the Ed25519 private key KEY (see\n"
               "                    keygen): OUTDIR/newupd/<name>.dat.sig holds the Base64\n"
               "                    signature of the .dat file.  The program installs only\n"
               "                    databases whose signature verifies with its public key.\n"
               "\n"
               "A database with structure faults (see check) is not published.\n"
               "Exit status: 0 published, 1 failed, 2 wrong arguments.")
        .arg(QLatin1String(BuildStamp));
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

    const QDir plainDir(positional[0]);
    const QDir outDir(positional[1]);
    // Everything is read and checked before anything is written, so a fault
    // leaves an existing repository as it was.
    QHash<QString, QByteArray> dataFiles;
    QHash<QString, QByteArray> versionFiles;
    QHash<QString, QByteArray> signatureFiles;
    QByteArray signKey;
    if (!signKeyFile.isEmpty() && !readFile(signKeyFile, &signKey)) {
        printError(QStringLiteral("cannot read %1").arg(signKeyFile));
        return 1;
    }
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
        dataFiles.insert(name, encodeDatabase(plain));
        if (!signKey.isEmpty()) {
            const QByteArray signature = signatureFileFor(signKey, dataFiles.value(name));
            if (signature.isEmpty()) {
                printError(QStringLiteral("%1 is not an Ed25519 private key").arg(signKeyFile));
                return 1;
            }
            signatureFiles.insert(name, signature);
        }
        versionFiles.insert(name, version + "\r\n");
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
    // The data files go first: a client that reads a new version file finds
    // the matching database already in place.
    for (const PublishedDatabase &db : kDatabases) {
        const QString name = QString::fromLatin1(db.name);
        const QString dataPath = QDir(newupd).filePath(name + QStringLiteral(".dat"));
        if (!writeFile(dataPath, dataFiles.value(name)))
            return 1;
        // A signature left from an earlier publication would not match.
        const QString signaturePath = dataPath + QStringLiteral(".sig");
        if (signatureFiles.contains(name)) {
            if (!writeFile(signaturePath, signatureFiles.value(name)))
                return 1;
        } else {
            QFile::remove(signaturePath);
        }
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
        !writeFile(QDir(files).filePath(QStringLiteral("Torvakine_Setup.exe")), installer))
        return 1;
    printOut(QStringLiteral("published to %1").arg(outDir.absolutePath()));
    return 0;
}
