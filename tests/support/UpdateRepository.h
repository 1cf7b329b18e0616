#pragma once

#include "update/UpdateManifest.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// An update repository in a temporary folder, laid out as torvakine-dbtool
// publish writes one but built piece by piece, so that a test can make any
// piece of it wrong: the enciphered databases and their version files under
// newupd/, torvakine.ver, msg.txt, and the update list signed with a key.
class UpdateRepository
{
public:
    // Signs with a key pair made for this repository, or with privatePem
    // (the build's demo key, which the programs trust).
    explicit UpdateRepository(const QByteArray &privatePem = {});

    QString path() const { return m_dir.path(); }
    // path() + "/" + relative, e.g. "newupd/cookdb.dat".
    QString filePath(const QString &relative) const;
    // The public key of the pair this repository made (empty with a key
    // given to the constructor).
    const QByteArray &publicKey() const { return m_publicKey; }
    const QByteArray &privateKey() const { return m_privateKey; }

    // newupd/<name>.dat (name: cookdb, trojsig, regdb) enciphered from
    // "[[[" + version + CR LF + entries, newupd/<name>.ver holding version,
    // and the database's line in the update list.
    void publishDatabase(const QString &name, const QByteArray &version,
                         const QByteArray &entries = {});
    void writeFile(const QString &relative, const QByteArray &bytes) const;
    QByteArray readFile(const QString &relative) const;

    // The update list that signManifest() writes: sequence 100, expiring in
    // a day, this build's stamp, and the published databases.
    UpdateManifest &manifest() { return m_manifest; }
    // Writes newupd/manifest and newupd/manifest.sig from manifest(), signed
    // with this repository's key or with privatePem.
    void signManifest(const QByteArray &privatePem = {});

private:
    QTemporaryDir m_dir;
    QByteArray m_privateKey;
    QByteArray m_publicKey;
    UpdateManifest m_manifest;
};
