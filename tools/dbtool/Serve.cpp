#include "tools/dbtool/Serve.h"

#include "tools/dbtool/DbToolCommand.h"
#include "tools/dbtool/LoopbackHttpServer.h"

#include <QCoreApplication>
#include <QDir>

int runServe(const QStringList &args)
{
    if (args.size() != 2) {
        printError(QStringLiteral("usage: torvakine-dbtool serve DIR PORT"));
        return 2;
    }
    bool ok = false;
    const uint port = args[1].toUInt(&ok);
    if (!ok || port > 65535) {
        printError(QStringLiteral("not a port number: %1").arg(args[1]));
        return 2;
    }
    if (!QDir(args[0]).exists()) {
        printError(QStringLiteral("no such folder: %1").arg(args[0]));
        return 1;
    }
    LoopbackHttpServer server(args[0]);
    if (!server.listen(quint16(port))) {
        printError(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(port));
        return 1;
    }
    printOut(
        QStringLiteral("serving %1 at %2").arg(QDir(args[0]).absolutePath(), server.baseUrl()));
    return QCoreApplication::exec();
}
