// torvakine-dbtool: the maintainers' tool that enciphers, deciphers, checks
// and publishes threat databases.
#include "tools/dbtool/CheckCommand.h"
#include "tools/dbtool/CodecCommands.h"
#include "tools/dbtool/DbToolCommand.h"
#include "tools/dbtool/Publish.h"
#include "tools/dbtool/Serve.h"
#include "tools/dbtool/SigningCommands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <iterator>

namespace {

const DbToolCommand kCommands[] = {
    {"encode", "encode PLAIN OUT.dat       encipher a plain-text database", runEncode},
    {"decode", "decode IN.dat OUT.txt      decipher a database to plain text", runDecode},
    {"check", "check [--kind K] FILE      report structure faults (exit 1 when any)", runCheck},
    {"publish", "publish PLAINDIR OUTDIR    write an update repository (publish --help)",
     runPublish},
    {"serve", "serve DIR PORT             serve a folder over HTTP on 127.0.0.1", runServe},
    {"keygen", "keygen PRIVATE PUBLIC      make an Ed25519 key pair for signing updates",
     runKeygen},
    {"verify", "verify FILE SIG PUBKEY     check a file's signature (exit 1 when invalid)",
     runVerify},
};

void usage()
{
    QString text = QStringLiteral("usage: torvakine-dbtool COMMAND ARGS...\n\ncommands:\n");
    for (const DbToolCommand &c : kCommands)
        text += QStringLiteral("  ") + QString::fromLatin1(c.usage) + QLatin1Char('\n');
    printOut(text);
}

} // namespace

void printOut(const QString &text)
{
    QTextStream(stdout) << text << Qt::endl;
}

void printError(const QString &text)
{
    QTextStream(stderr) << "torvakine-dbtool: " << text << Qt::endl;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        usage();
        return args.isEmpty() ? 2 : 0;
    }
    for (const DbToolCommand &c : kCommands) {
        if (args[0] == QLatin1String(c.name))
            return c.run(args.mid(1));
    }
    printError(QStringLiteral("unknown command %1").arg(args[0]));
    usage();
    return 2;
}
