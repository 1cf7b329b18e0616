// Base64Decode on any text: the result length follows from the count of the
// characters that remain after CR LF pairs and "=" are dropped, an empty
// remainder is refused, and text made of whole groups of alphabet characters
// decodes as standard Base64 does.
#include "databases/modCipher.h"
#include "fuzz/FuzzEnvironment.h"

namespace {

bool onlyAlphabet(const QByteArray &text)
{
    for (char c : text) {
        const bool inAlphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!inAlphabet)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = fuzzBytes(data, size);
    bool ok = true;
    const QByteArray decoded = Base64Decode(text, &ok);

    QByteArray remaining = text;
    remaining.replace("\r\n", "");
    remaining.replace("=", "");
    const qsizetype n = remaining.size();
    const qsizetype rest = n % 4;
    const qsizetype expected = 3 * (n / 4) + (rest == 3 ? 2 : (rest == 0 ? 0 : 1));
    FUZZ_CHECK(ok == (n > 0));
    FUZZ_CHECK(decoded.size() == expected);
    if (rest == 0 && onlyAlphabet(remaining))
        FUZZ_CHECK(decoded == QByteArray::fromBase64(remaining));
    if (rest == 1)
        FUZZ_CHECK(decoded.endsWith('\0'));
    return 0;
}
