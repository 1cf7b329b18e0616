// The language file reader on any bytes: at most the entries of the table
// are written, from entry 1 on without a gap, and their number is what the
// reader returns; reading twice gives the same table; without quotes an item
// never holds a comma or a line end and has no spaces at either end.
#include "fuzz/FuzzEnvironment.h"
#include "language/LanguageFile.h"
#include "language/LanguageTexts.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr int kLast = LanguageTexts::kLastEntry;
    const QByteArray bytes = fuzzBytes(data, size);
    const QString unset = QStringLiteral("\x01unset");
    LanguageTexts texts;
    for (int n = 0; n <= kLast + 1; ++n)
        texts.setText(n, unset);
    const int read = readLanguageText(bytes, texts);
    FUZZ_CHECK(read >= 0 && read <= kLast);

    // Entries are filled from 1 on without a gap, the rest keep their text.
    int filled = 0;
    while (filled < kLast && texts.Lingua(filled + 1) != unset)
        ++filled;
    FUZZ_CHECK(filled == read);
    for (int n = filled + 1; n <= kLast; ++n)
        FUZZ_CHECK(texts.Lingua(n) == unset);

    // The same texts again, set one by one: the table holds nothing else
    // (entry 0 included), and a second reading gives the same table.
    LanguageTexts expected;
    for (int n = 1; n <= kLast; ++n)
        expected.setText(n, texts.Lingua(n));
    FUZZ_CHECK(texts == expected);
    FUZZ_CHECK(readLanguageText(bytes, expected) == read);
    FUZZ_CHECK(texts == expected);

    if (!bytes.contains('"')) {
        for (int i = 1; i <= filled; ++i) {
            const QString text = texts.Lingua(i);
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
