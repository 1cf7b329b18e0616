#include "tools/dbtool/SigningCommands.h"

#include "platform/Ed25519Signature.h"
#include "tools/dbtool/DbToolCommand.h"

#include <QFile>

namespace {
bool readFile(const QString &path, QByteArray *bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("cannot read %1").arg(path));
        return false;
    }
    *bytes = f.readAll();
    return true;
}

bool writeNewFile(const QString &path, const QByteArray &bytes,
                  QFileDevice::Permissions permissions)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        printError(QStringLiteral("cannot create %1 (it must not exist yet)").arg(path));
        return false;
    }
    if (!f.setPermissions(permissions) || f.write(bytes) != bytes.size() || !f.flush()) {
        f.close();
        f.remove();
        printError(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    return true;
}
} // namespace

QByteArray signatureFileFor(const QByteArray &privatePem, const QByteArray &data)
{
    const QByteArray signature = Ed25519Signature::sign(privatePem, data);
    return signature.isEmpty() ? QByteArray() : signature.toBase64() + "\r\n";
}

int runKeygen(const QStringList &args)
{
    if (args.size() != 2) {
        printError(QStringLiteral("usage: torvakine-dbtool keygen PRIVATE.key PUBLIC.pub"));
        return 2;
    }
    QByteArray privatePem;
    QByteArray publicPem;
    if (!Ed25519Signature::generateKeyPair(&privatePem, &publicPem)) {
        printError(QStringLiteral("cannot make a key pair"));
        return 1;
    }
    if (!writeNewFile(args[0], privatePem, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return 1;
    if (!writeNewFile(args[1], publicPem,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                          QFileDevice::ReadOther)) {
        QFile::remove(args[0]);
        return 1;
    }
    printOut(
        QStringLiteral("private key %1 (keep it secret), public key %2").arg(args[0], args[1]));
    return 0;
}

int runVerify(const QStringList &args)
{
    if (args.size() != 3) {
        printError(QStringLiteral("usage: torvakine-dbtool verify FILE SIG PUBKEY"));
        return 2;
    }
    QByteArray data;
    QByteArray signatureFile;
    QByteArray publicPem;
    if (!readFile(args[0], &data) || !readFile(args[1], &signatureFile) ||
        !readFile(args[2], &publicPem))
        return 1;
    const auto signature = QByteArray::fromBase64Encoding(signatureFile.trimmed(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
    if (signature && Ed25519Signature::verify(publicPem, data, *signature)) {
        printOut(QStringLiteral("valid signature"));
        return 0;
    }
    printError(QStringLiteral("invalid signature"));
    return 1;
}
