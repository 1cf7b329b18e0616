// GetVersioneInternet on any content of the fetched-text file "SDR": the
// version text is the content up to its first CR, decoded from Windows-1252,
// and nothing at all while the server counts as unreachable.
#include "fuzz/FuzzEnvironment.h"
#include "platform/Cp1252.h"
#include "update/UpdateCommand.h"
#include "update/UpdateFlags.h"

namespace {

UpdateCommand *command = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    // Lives for the whole process, as the main window's command does.
    command = new UpdateCommand;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = fuzzBytes(data, size);
    resetSharedState();
    writeFuzzFile(command->sdrPath(), content);

    const QString version = command->GetVersioneInternet();
    const qsizetype cr = content.indexOf('\r');
    FUZZ_CHECK(version == Cp1252::toUnicode(cr < 0 ? content : content.left(cr)));
    FUZZ_CHECK(!version.contains(QLatin1Char('\r')));

    updateFlags().ServerReachable = false;
    FUZZ_CHECK(command->GetVersioneInternet().isEmpty());
    return 0;
}
