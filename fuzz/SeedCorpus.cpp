// Writes the seed inputs that are generated rather than written by hand:
// registry hives built through hivex, enciphered database files and browser
// cookie stores built through SQLite.
// Usage: fuzz_seeds FOLDER  (creates FOLDER/hive, FOLDER/cryptfile and
// FOLDER/cookie_store).
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseKeys.h"
#include "databases/modCipher.h"
#include "tests/support/CookieStoreBuilder.h"
#include "tests/support/HiveBuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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

// One store of every layout, small pages so that mutations reach every part,
// each behind the byte that picks its kind (see fuzz/CookieStoreFuzzing.h).
bool writeCookieStores(const QString &folder)
{
    const CookieStoreLayout layouts[] = {
        CookieStoreLayout::Firefox2008,  CookieStoreLayout::Firefox2012,
        CookieStoreLayout::Firefox2020,  CookieStoreLayout::Firefox2025,
        CookieStoreLayout::Chromium2009, CookieStoreLayout::Chromium2015,
        CookieStoreLayout::Chromium2024,
    };
    QTemporaryDir scratch;
    bool ok = scratch.isValid();
    for (const CookieStoreLayout layout : layouts) {
        const bool firefox = isFirefoxLayout(layout);
        for (const bool wal : {false, true}) {
            const QString store =
                scratch.filePath(QString::number(int(layout)) + (wal ? "w" : "j"));
            TestCookie tracker;
            tracker.host = ".doubleclick.net";
            tracker.name = "id";
            tracker.value = "AB12";
            tracker.secure = true;
            tracker.expiry = firefox ? 1791464381 : chromiumTime(1791464381);
            TestCookie plain;
            plain.host = "www.example.org";
            plain.path = "/a";
            plain.name = "pref";
            plain.encryptedValue = "v10\x01";
            ok = ok && writeCookieStore(store, layout, {tracker, plain}, {wal, 512});
            const char kind = firefox ? 0 : 1;
            ok =
                ok && write(folder + QStringLiteral("/cookie_store/") + QFileInfo(store).fileName(),
                            QByteArray(1, kind) + readBack(store));
        }
    }
    return ok;
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
    QDir().mkpath(folder + QStringLiteral("/cookie_store"));
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
    ok = ok && writeCookieStores(folder);
    if (!ok) {
        std::fprintf(stderr, "cannot write the seeds into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
