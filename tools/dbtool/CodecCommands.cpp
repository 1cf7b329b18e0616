#include "tools/dbtool/CodecCommands.h"

#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseLoader.h"
#include "platform/TextFiles.h"
#include "tools/dbtool/DbToolCommand.h"

#include <QFile>

int runEncode(const QStringList &args)
{
    if (args.size() != 2) {
        printError(QStringLiteral("usage: torvakine-dbtool encode PLAIN OUT.dat"));
        return 2;
    }
    QFile plain(args[0]);
    if (!plain.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("cannot read %1").arg(args[0]));
        return 1;
    }
    if (!TextFiles::writeAtomically(args[1], encodeDatabase(plain.readAll()))) {
        printError(QStringLiteral("cannot write %1").arg(args[1]));
        return 1;
    }
    return 0;
}

int runDecode(const QStringList &args)
{
    if (args.size() != 2) {
        printError(QStringLiteral("usage: torvakine-dbtool decode IN.dat OUT.txt"));
        return 2;
    }
    QByteArray plain;
    if (!decipherDatabaseFile(args[0], &plain)) {
        printError(QStringLiteral("cannot decipher %1").arg(args[0]));
        return 1;
    }
    if (!TextFiles::writeAtomically(args[1], plain)) {
        printError(QStringLiteral("cannot write %1").arg(args[1]));
        return 1;
    }
    return 0;
}
