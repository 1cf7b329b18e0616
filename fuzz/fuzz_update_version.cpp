// GetVersioneInternet on any content of the fetched-text file "SDR": the
// version text is the content up to its first CR, decoded from Windows-1252,
// and nothing at all while the server counts as unreachable.
#include "fuzz/FuzzEnvironment.h"
#include "platform/Cp1252.h"
#include "update/LoopbackHttpServer.h"
#include "update/UpdateCommand.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Two commands of the fuzz folder, which share its "SDR", living for the
// whole process as the main window's command does: one that has reached the
// server and one whose fetch has timed out.
UpdateCommand *reachable = nullptr;
UpdateCommand *unreachable = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    reachable = new UpdateCommand(fuzzPaths());
    unreachable = new UpdateCommand(fuzzPaths());
    // A loopback server that never answers makes the fetch time out.
    LoopbackHttpServer server(fuzzFolder());
    server.setFault(QStringLiteral("/newupd/cookdb.ver"), LoopbackHttpServer::Fault::Stall);
    if (!server.listen()) {
        std::fprintf(stderr, "cannot listen on the loopback address\n");
        std::abort();
    }
    unreachable->Inet1().setTimeout(50);
    unreachable->GetInternetData(server.baseUrl() + QStringLiteral("/newupd/cookdb.ver"));
    FUZZ_CHECK(reachable->flags().ServerReachable && !unreachable->flags().ServerReachable);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = fuzzBytes(data, size);
    writeFuzzFile(reachable->sdrPath(), content);

    const QString version = reachable->GetVersioneInternet();
    const qsizetype cr = content.indexOf('\r');
    FUZZ_CHECK(version == Cp1252::toUnicode(cr < 0 ? content : content.left(cr)));
    FUZZ_CHECK(!version.contains(QLatin1Char('\r')));

    FUZZ_CHECK(unreachable->sdrPath() == reachable->sdrPath());
    FUZZ_CHECK(unreachable->GetVersioneInternet().isEmpty());
    return 0;
}
