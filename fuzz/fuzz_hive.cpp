// The offline registry on a mutated hive file: the same bytes serve as the
// SOFTWARE, SYSTEM and DEFAULT hives and as one user's NTUSER.DAT, and every
// predefined key is queried (links, the current control set and the profile
// list included).  No query may fail hard, a hive that does not open holds
// nothing, and reading changes no file.
#include "fuzz/FuzzEnvironment.h"
#include "fuzz/HiveFuzzing.h"
#include "platform/HiveFile.h"
#include "platform/HiveRegistry.h"

namespace {

struct Probe {
    PredefinedKey root;
    const char *path;
    const char *value;
};

constexpr Probe kProbes[] = {
    {PredefinedKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Bad"},
    {PredefinedKey::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", ""},
    {PredefinedKey::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Evil", "Start"},
    {PredefinedKey::LocalMachine, "SOFTWARE\\Link\\Deeper", "x"},
    {PredefinedKey::LocalMachine, "SYSTEM\\Link", "x"},
    {PredefinedKey::LocalMachine, "", ""},
    {PredefinedKey::ClassesRoot, "CLSID\\{0000}", "InprocServer32"},
    {PredefinedKey::CurrentConfig, "Software", "x"},
    {PredefinedKey::CurrentUser, "Software\\Tracker", "Id"},
    {PredefinedKey::Users, ".DEFAULT\\Software\\Tracker", "Id"},
    {PredefinedKey::Users, "S-1-5-21-1\\Software\\Tracker", "Id"},
    {PredefinedKey::Users, "", ""},
    {PredefinedKey::PerformanceData, "Anything", "x"},
};

} // namespace

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
    const QString root = installationFolder();

    {
        HiveRegistry registry(root, RegistryAccess::ReadOnly);
        for (const Probe &probe : kProbes) {
            const QString path = QString::fromLatin1(probe.path);
            const bool exists = registry.keyExists(probe.root, path);
            const QVariant value =
                registry.queryValue(probe.root, path, QString::fromLatin1(probe.value));
            if (!sound)
                FUZZ_CHECK(!exists && !registryValueIsPresent(value));
            FUZZ_CHECK(value.typeId() == QMetaType::QString || value.typeId() == QMetaType::Int);
        }
        FUZZ_CHECK(registry.commit().isEmpty());
    }
    for (const QString &path : paths)
        FUZZ_CHECK(readFuzzFile(path) == hive);

    return 0;
}
