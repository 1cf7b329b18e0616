#include "tests/support/UpdateRepository.h"

#include "databases/DatabaseEncoder.h"
#include "platform/Ed25519Signature.h"
#include "tests/support/TestFiles.h"
#include "update/BuildStamp.h"

#include <QCryptographicHash>

UpdateRepository::UpdateRepository(const QByteArray &privatePem) : m_privateKey(privatePem)
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder");
    if (m_privateKey.isEmpty() && !Ed25519Signature::generateKeyPair(&m_privateKey, &m_publicKey))
        qFatal("cannot make a key pair");
    m_manifest.sequence = 100;
    m_manifest.expires = QDateTime::currentDateTimeUtc().addDays(1);
    m_manifest.expires.setTime(QTime(m_manifest.expires.time().hour(), 0));
    m_manifest.buildStamp = BuildStamp;
    writeFile(QStringLiteral("newupd/torvakine.ver"), QByteArray(BuildStamp) + "\r\n");
    writeFile(QStringLiteral("newupd/msg.txt"), "Welcome\r\n");
}

QString UpdateRepository::filePath(const QString &relative) const
{
    return m_dir.filePath(relative);
}

void UpdateRepository::publishDatabase(const QString &name, const QByteArray &version,
                                       const QByteArray &entries)
{
    const QByteArray data = encodeDatabase("[[[" + version + "\r\n" + entries);
    writeFile(QStringLiteral("newupd/%1.dat").arg(name), data);
    writeFile(QStringLiteral("newupd/%1.ver").arg(name), version + "\r\n");
    ManifestDatabase listed;
    listed.fileName = name + QStringLiteral(".dat");
    listed.size = data.size();
    listed.sha256 = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
    listed.version = version;
    m_manifest.databases.removeIf(
        [&](const ManifestDatabase &db) { return db.fileName == listed.fileName; });
    m_manifest.databases.append(listed);
}

void UpdateRepository::writeFile(const QString &relative, const QByteArray &bytes) const
{
    writeTestFile(filePath(relative), bytes);
}

QByteArray UpdateRepository::readFile(const QString &relative) const
{
    return readTestFile(filePath(relative));
}

void UpdateRepository::signManifest(const QByteArray &privatePem)
{
    const QByteArray bytes = m_manifest.toBytes();
    const QByteArray signature =
        Ed25519Signature::sign(privatePem.isEmpty() ? m_privateKey : privatePem, bytes);
    if (signature.isEmpty())
        qFatal("cannot sign the update list");
    writeFile(QStringLiteral("newupd/manifest"), bytes);
    writeFile(QStringLiteral("newupd/manifest.sig"), signature.toBase64() + "\r\n");
}
