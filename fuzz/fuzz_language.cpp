// The language file reader on any bytes: at most the 34 entries are written,
// entry 0 never, reading twice gives the same table, and without quotes an
// item never holds a comma or a line end and has no spaces at either end.
#include "fuzz/FuzzEnvironment.h"
#include "language/LanguageFile.h"
#include "language/Lingua.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    resetLanguageState();
    const QString unset = QStringLiteral("\x01unset");
    for (QString &text : languageState().Lingua)
        text = unset;
    readLanguageText(bytes);
    const auto first = languageState().Lingua;
    FUZZ_CHECK(first[0] == unset);

    readLanguageText(bytes);
    FUZZ_CHECK(languageState().Lingua == first);

    // Entries are filled from 1 on without a gap.
    int filled = 0;
    while (filled < 34 && first[size_t(filled) + 1] != unset)
        ++filled;
    for (int i = filled + 1; i <= 34; ++i)
        FUZZ_CHECK(first[size_t(i)] == unset);
    FUZZ_CHECK(Lingua(0).isEmpty() && Lingua(35).isEmpty());

    if (!bytes.contains('"')) {
        for (int i = 1; i <= filled; ++i) {
            const QString &text = first[size_t(i)];
            FUZZ_CHECK(!text.contains(QLatin1Char(',')));
            FUZZ_CHECK(!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')));
            FUZZ_CHECK(!text.startsWith(QLatin1Char(' ')) && !text.endsWith(QLatin1Char(' ')));
        }
        // Every comma and line end that separates items is counted: a text
        // with k commas and no line ends has at most k + 1 items.
        if (!bytes.contains('\r') && !bytes.contains('\n'))
            FUZZ_CHECK(filled <= bytes.count(',') + 1);
    }
    return 0;
}
