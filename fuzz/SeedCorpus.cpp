// Writes the seed inputs that are generated rather than written by hand:
// registry hives built through hivex and enciphered database files.
// Usage: fuzz_seeds FOLDER  (creates FOLDER/hive and FOLDER/cryptfile).
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseKeys.h"
#include "databases/modCipher.h"
#include "tests/support/HiveBuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readBack(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A hive that answers every probe of the hive target: run keys, a control
// set chosen through Select, a profile list, classes and two links, one of
// them pointing at itself.
void buildFullHive(const QString &path)
{
    HiveBuilder b(path);
    b.setText(QStringLiteral("Microsoft\\Windows\\CurrentVersion\\Run"), QStringLiteral("Bad"),
              QStringLiteral("c:\\bad.exe"));
    b.setText(QStringLiteral("Microsoft\\Windows\\CurrentVersion\\Run"), QString(),
              QStringLiteral("default"));
    b.setDword(QStringLiteral("Select"), QStringLiteral("Current"), 1);
    b.setDword(QStringLiteral("ControlSet001\\Services\\Evil"), QStringLiteral("Start"), 2);
    b.addKey(QStringLiteral("ControlSet001\\Hardware Profiles\\Current\\Software"));
    b.setText(QStringLiteral("Classes\\CLSID\\{0000}"), QStringLiteral("InprocServer32"),
              QStringLiteral("x.dll"));
    b.setText(QStringLiteral("Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1"),
              QStringLiteral("ProfileImagePath"), QStringLiteral("%SystemDrive%\\Users\\bob"),
              hive_t_REG_EXPAND_SZ);
    b.setDword(QStringLiteral("Software\\Tracker"), QStringLiteral("Id"), 7);
    const QString loop = QStringLiteral("\\REGISTRY\\MACHINE\\SOFTWARE\\Link");
    QByteArray loopData = registryText(loop);
    loopData.chop(2);
    b.setRaw(QStringLiteral("Link"), QStringLiteral("SymbolicLinkValue"), hive_t_REG_LINK,
             loopData);
    QByteArray toSystem =
        registryText(QStringLiteral("\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001"));
    toSystem.chop(2);
    b.setRaw(QStringLiteral("CurrentControlSetLink"), QStringLiteral("SymbolicLinkValue"),
             hive_t_REG_LINK, toSystem);
    b.commit();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder + QStringLiteral("/hive"));
    QDir().mkpath(folder + QStringLiteral("/cryptfile"));
    bool ok = write(folder + QStringLiteral("/hive/empty"), HiveBuilder::emptyHive());
    {
        HiveBuilder small(folder + QStringLiteral("/hive/small"));
        small.setText(QStringLiteral("Software\\Tracker"), QStringLiteral("Id"),
                      QStringLiteral("abc"));
        small.commit();
    }
    buildFullHive(folder + QStringLiteral("/hive/full"));

    // The first byte of a cryptfile input: selector 8 shifted left by one,
    // with bit 0 set for Base64 text.
    const QByteArray plain =
        "[[[2026.1\r\n***Adware.Sample\r\nc:\\bad\\*.exe\r\n--ME-\r\nbad.exe\r\n<<<>>\r\n";
    ok = ok && write(folder + QStringLiteral("/cryptfile/database"),
                     QByteArray(1, char(8 << 1 | 1)) + encodeDatabase(plain));
    const QByteArray cipher = EncryptBytes(DatabaseKeys::kDatabaseSelector, plain,
                                           DecodeText(DatabaseKeys::storedKeyText()),
                                           DecodeText(DatabaseKeys::storedInitText()));
    ok = ok &&
         write(folder + QStringLiteral("/cryptfile/binary"), QByteArray(1, char(8 << 1)) + cipher);
    ok = ok && !readBack(folder + QStringLiteral("/hive/full")).isEmpty();
    if (!ok) {
        std::fprintf(stderr, "cannot write the seeds into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
