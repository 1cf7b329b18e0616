// The registry removal on a mutated hive file, laid out as in fuzz_hive:
// a value and keys are deleted and the change committed.  A hive that could
// not be opened is never written, and a hive that was written opens again as
// a sound hive.
#include "fuzz/FuzzEnvironment.h"
#include "fuzz/HiveFuzzing.h"
#include "platform/HiveFile.h"
#include "platform/HiveRegistry.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    prepareInstallation();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray hive = fuzzBytes(data, size);
    const QStringList paths = writeFuzzedHives(hive);
    const bool sound = HiveFile::open(paths.first()) != nullptr;
    {
        HiveRegistry registry(installationFolder(), RegistryAccess::ReadWrite);
        registry.deleteValue(PredefinedKey::LocalMachine,
                             QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"),
                             QStringLiteral("Bad"));
        registry.deleteKey(PredefinedKey::CurrentUser, QStringLiteral("Software\\Tracker"));
        registry.deleteKey(PredefinedKey::LocalMachine, QStringLiteral("SOFTWARE\\Link"));
        // A whole hive is never deleted.
        FUZZ_CHECK(registry.deleteKey(PredefinedKey::LocalMachine, QStringLiteral("SOFTWARE")) !=
                   RegistryResult::Success);
        registry.commit();
    }
    for (const QString &path : paths) {
        const QByteArray after = readFuzzFile(path);
        if (!sound)
            FUZZ_CHECK(after == hive);
        else if (after != hive)
            FUZZ_CHECK(HiveFile::open(path) != nullptr);
    }
    return 0;
}
