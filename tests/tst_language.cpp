// The language file reader, the six shipped language files and the language switch.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "language/LanguageFile.h"
#include "language/LanguageSwitch.h"
#include "language/LanguageTexts.h"
#include "platform/Cp1252.h"
#include "tests/support/TestAppFolder.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace {

using Texts = std::function<QString(int)>;
constexpr int kLast = LanguageTexts::kLastEntry;

// A generated language file, one item a line: each item differs from language
// to language and entry to entry, and holds a character Latin-1 lacks.
QByteArray fixtureFile(int language, int count = kLast)
{
    QByteArray bytes;
    for (int n = 1; n <= count; ++n)
        bytes += "Lang" + QByteArray::number(language) + " \x80 " + QByteArray::number(n) + "\r\n";
    return bytes;
}

// The entries after reading count items of language over the file of earlier.
Texts fixture(int language, int count = kLast, int earlier = 0)
{
    return [=](int n) {
        return QStringLiteral("Lang%1 \u20ac %2").arg(n <= count ? language : earlier).arg(n);
    };
}

QStringList entries(const Texts &text)
{
    QStringList list;
    for (int n = 1; n <= kLast; ++n)
        list << text(n);
    return list;
}

QStringList entries(const LanguageTexts &texts)
{
    return entries([&texts](int n) { return texts.Lingua(n); });
}

QStringList entries(const Form1 &w)
{
    return entries([&w](int n) { return w.Lingua(n); });
}

// Every text of the main window that the language sets, and what it should
// show when entry n reads text(n), no update date is known and the program
// writes into folder.
QStringList shownTexts(const Form1 &w)
{
    return {w.Command1->toolTip(),   w.Image1->toolTip(),   w.Command2->toolTip(),
            w.Image3->toolTip(),     w.Check1->text(),      w.Command4->toolTip(),
            w.Command6->toolTip(),   w.Command5->toolTip(), w.Command7->toolTip(),
            w.Image4->toolTip(),     w.Label3->text(),      w.lblMessages->text(),
            w.lblMessages->toolTip()};
}

QStringList expectedTexts(const Texts &text, const QString &folder)
{
    return {text(1),
            text(1),
            text(2),
            text(3),
            text(4),
            text(10),
            text(12),
            text(17),
            text(18),
            text(18),
            text(26),
            text(33) + ": " + text(34),
            text(DataFolderText) + " " + QDir::toNativeSeparators(folder)};
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void readingRules();
    void laterEntriesFromEnglish();
    void languageSwitch();
};

void TestLanguage::readingRules()
{
    const QList<QPair<QByteArray, QStringList>> cases = {
        {"\"one, two\"\r\nplain\r\n\"  spaced , \" ignored after the quote\r\n\"a\",b,c\r\n",
         {"one, two", "plain", "  spaced , ", "a", "b", "c"}},
        {"\r\n\r\nfirst\r\n\r\n\r\n   second\r\n\n\rthird   \r\n\r\n",
         {"first", "second", "third"}},
        {"a\r\n\"quote never closed, still read", {"a", "quote never closed, still read"}},
        {"", {}}};
    for (const auto &[text, items] : cases) {
        LanguageTexts texts;
        QCOMPARE(readLanguageText(text, texts), items.size());
        // The entries after the last item keep their (empty) text.
        QCOMPARE(entries(texts), items + QStringList(kLast - items.size(), QString()));
    }
    // Reading stops at the last entry of the table; no number outside it has a text.
    LanguageTexts texts;
    QCOMPARE(readLanguageText(fixtureFile(1, kLast + 5), texts), kLast);
    QCOMPARE(entries(texts), entries(fixture(1)));
    texts.setText(0, "zero");
    texts.setText(kLast + 1, "past the end");
    QVERIFY(texts.Lingua(0).isEmpty() && texts.Lingua(kLast + 1).isEmpty());
    LanguageTexts same;
    QCOMPARE(readLanguageText(fixtureFile(1), same), kLast);
    QVERIFY(texts == same);
    QCOMPARE(readLanguageFile(TestAppFolder().filePath("missing"), same), 0);
    QVERIFY(texts == same);
}

void TestLanguage::laterEntriesFromEnglish()
{
    // A lang.dat written before the entries after 34 existed takes them from
    // the English file; one that has them, or is cut short before 34, keeps
    // what it has; without the English file they are empty.
    TestAppFolder app;
    app.writeFile("Language/english", fixtureFile(9));
    const QList<QPair<int, Texts>> cases = {
        {34, fixture(1, 34, 9)}, {kLast, fixture(1)}, {20, [](int n) {
                                                           return n <= 20   ? fixture(1)(n)
                                                                  : n <= 34 ? QString()
                                                                            : fixture(9)(n);
                                                       }}};
    for (const auto &[count, expected] : cases) {
        app.writeFile("lang.dat", fixtureFile(1, count));
        QCOMPARE(entries(app.texts()), entries(expected));
    }
    QVERIFY(QFile::remove(app.filePath("Language/english")));
    app.writeFile("lang.dat", fixtureFile(1, 34));
    QCOMPARE(entries(app.texts()),
             entries(fixture(1, 34)).mid(0, 34) + QStringList(kLast - 34, QString()));
}

void TestLanguage::languageSwitch()
{
    TestAppFolder app;
    app.writeFile("lang.dat", fixtureFile(0));
    app.writeFile("upd.dat", "\r\n06/12/2026 10:15:00\r\n"); // no date on the first line
    app.writeFile("Language/english", fixtureFile(7));
    // Button 3 has too many items, button 4 too few and button 5 no file.
    app.writeFile("Language/" + languageFileName(3), fixtureFile(3, kLast + 6));
    app.writeFile("Language/" + languageFileName(4), fixtureFile(4, 20));
    Form1 w(app.paths(), DatabaseTables{});
    w.Form_Load();
    QCOMPARE(shownTexts(w), expectedTexts(fixture(0), app.path()));
    QCOMPARE(entries(w), entries(fixture(0)));

    // The copy leaves no temporary file behind, and a missing file or an
    // index that names no button loses nothing.
    const QStringList files = {"lang.dat", "upd.dat"};
    for (const int button : {3, 5, 6, -1}) {
        w.Command8_Click(button);
        QCOMPARE(shownTexts(w), expectedTexts(fixture(3), app.path()));
        QCOMPARE(entries(w), entries(fixture(3)));
        QCOMPARE(app.readFile("lang.dat"), fixtureFile(3, kLast + 6));
        QCOMPARE(QDir(app.path()).entryList(QDir::Files), files);
    }
    // A shorter file starts again at entry 1 and leaves the later entries up
    // to 34; those after 34 come from the English file.
    w.Command8_Click(4);
    QCOMPARE(app.readFile("lang.dat"), fixtureFile(4, 20));
    const Texts mixed = [](int n) { return n <= 34 ? fixture(4, 20, 3)(n) : fixture(7)(n); };
    QCOMPARE(shownTexts(w), expectedTexts(mixed, app.path()));
    QCOMPARE(entries(w), entries(mixed));
    // Without lang.dat the texts stay as they are.
    QVERIFY(QFile::remove(app.filePath("lang.dat")));
    w.Command8_Click(5);
    QCOMPARE(entries(w), entries(mixed));

    // The six shipped files, each behind its button.
    const QStringList names = {"english", "fran\u00e7ais", "italiano",
                               "deutsch", "espa\u00f1ol",  "nederlands"};
    const QStringList firstEntries = {"Scan",        "Balayage.",        "Avvia scansione",
                                      "Anfangsscan", "Inicia escansion", "Aftasten"};
    for (int button = 5; button >= 0; --button) {
        const QByteArray bytes = readTestFile(TORVAKINE_LANGUAGE_SOURCE_DIR "/" + names[button]);
        // CR LF after every line, no other control character and no byte that
        // Windows-1252 leaves unassigned (those decode as control characters).
        QCOMPARE(bytes.count('\r') + bytes.count('\n'), 2 * bytes.count("\r\n"));
        QStringList lines = Cp1252::toUnicode(bytes).split("\r\n");
        QVERIFY2(lines.takeLast().isEmpty(), qPrintable(names[button]));
        // One line for every entry of the table.
        QVERIFY2(lines.size() == kLast, qPrintable(names[button]));
        for (QString &line : lines) {
            for (const QChar c : line)
                QVERIFY2(c.category() != QChar::Other_Control, qPrintable(line));
            if (line.size() >= 2 && line.startsWith('"') && line.endsWith('"'))
                line = line.mid(1, line.size() - 2);
            // Every entry is shown somewhere; UTF-8 read as Windows-1252 would
            // show up as "Ã" and a second character.
            QVERIFY2(!line.trimmed().isEmpty() && !line.contains(QChar(0x00c3)), qPrintable(line));
        }
        // Each line reads back as exactly one entry: no unquoted line holds a
        // comma or loses a space.
        app.writeFile("Language/" + names[button], bytes);
        w.Command8_Click(button);
        QCOMPARE(entries(w), lines);
        QCOMPARE(w.Lingua(1), firstEntries[button]);
        // The scan summary puts the detection count right after entry 13 and
        // the count of unreadable objects right after its suffix.
        QVERIFY2(w.Lingua(13).endsWith(' ') && !w.Lingua(13).startsWith(' '),
                 qPrintable(w.Lingua(13)));
        QVERIFY2(w.Lingua(UnreadableCountText).endsWith(' '),
                 qPrintable(w.Lingua(UnreadableCountText)));
    }
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
