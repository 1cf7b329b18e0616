// versionLine on any content a server could serve as a version file: the
// version is the content up to its first CR, decoded from Windows-1252, and
// never holds a CR.
#include "fuzz/FuzzEnvironment.h"
#include "platform/Cp1252.h"
#include "update/VersionLine.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content = fuzzBytes(data, size);
    const QString version = versionLine(content);
    const qsizetype cr = content.indexOf('\r');
    FUZZ_CHECK(version == Cp1252::toUnicode(cr < 0 ? content : content.left(cr)));
    FUZZ_CHECK(!version.contains(QLatin1Char('\r')));
    FUZZ_CHECK(version.size() == (cr < 0 ? content.size() : cr));
    return 0;
}
