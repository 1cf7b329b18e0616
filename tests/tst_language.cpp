// The language file reader, the six shipped language files and the language switch.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "language/LanguageFile.h"
#include "language/LanguageSwitch.h"
#include "language/Lingua.h"
#include "platform/Cp1252.h"
#include "tests/support/TestAppFolder.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace {

using Texts = std::function<QString(int)>;

// A generated language file, one item a line: each item differs from language
// to language and entry to entry, and holds a character Latin-1 lacks.
QByteArray fixtureFile(int language, int count = 34)
{
    QByteArray bytes;
    for (int n = 1; n <= count; ++n)
        bytes += "Lang" + QByteArray::number(language) + " \x80 " + QByteArray::number(n) + "\r\n";
    return bytes;
}

// The entries after reading count items of language over the file of earlier.
Texts fixture(int language, int count = 34, int earlier = 0)
{
    return [=](int n) {
        return QStringLiteral("Lang%1 \u20ac %2").arg(n <= count ? language : earlier).arg(n);
    };
}

QStringList entries(const Texts &text = Lingua)
{
    QStringList list;
    for (int n = 1; n <= 34; ++n)
        list << text(n);
    return list;
}

// Every text of the main window that the language sets, and what it should
// show when entry n reads text(n) and no update date is known.
QStringList shownTexts(const Form1 &w)
{
    return {w.Command1->toolTip(), w.Image1->toolTip(),   w.Command2->toolTip(),
            w.Image3->toolTip(),   w.Check1->text(),      w.Command4->toolTip(),
            w.Command6->toolTip(), w.Command5->toolTip(), w.Command7->toolTip(),
            w.Image4->toolTip(),   w.Label3->text(),      w.lblMessages->text()};
}

QStringList expectedTexts(const Texts &text)
{
    return {text(1),  text(1),  text(2),  text(3),  text(4),  text(10),
            text(12), text(17), text(18), text(18), text(26), text(33) + ": " + text(34)};
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void readingRules();
    void languageSwitch();
};

void TestLanguage::readingRules()
{
    const QList<QPair<QByteArray, QStringList>> cases = {
        {"\"one, two\"\r\nplain\r\n\"  spaced , \" ignored after the quote\r\n\"a\",b,c\r\n",
         {"one, two", "plain", "  spaced , ", "a", "b", "c", ""}},
        {"\r\n\r\nfirst\r\n\r\n\r\n   second\r\n\n\rthird   \r\n\r\n",
         {"first", "second", "third", ""}},
        {"a\r\n\"quote never closed, still read", {"a", "quote never closed, still read", ""}}};
    for (const auto &[text, items] : cases) {
        resetLanguageState();
        readLanguageText(text);
        QCOMPARE(entries().mid(0, items.size()), items);
    }
}

void TestLanguage::languageSwitch()
{
    TestAppFolder app;
    app.writeFile("lang.dat", fixtureFile(0));
    app.writeFile("upd.dat", "\r\n06/12/2026 10:15:00\r\n"); // no date on the first line
    // Button 3 has too many items, button 4 too few and button 5 no file.
    app.writeFile("Language/" + languageFileName(3), fixtureFile(3, 40));
    app.writeFile("Language/" + languageFileName(4), fixtureFile(4, 20));
    Form1 w;
    w.Form_Load();
    QCOMPARE(shownTexts(w), expectedTexts(fixture(0)));

    // The copy leaves no temporary file behind, and a missing file or an
    // index that names no button loses nothing.
    for (const int button : {3, 5, 6, -1}) {
        w.Command8_Click(button);
        QCOMPARE(shownTexts(w), expectedTexts(fixture(3)));
        QCOMPARE(app.readFile("lang.dat"), fixtureFile(3, 40));
        QCOMPARE(QDir(app.path()).entryList(QDir::Files), QStringList({"lang.dat", "upd.dat"}));
    }
    // A shorter file starts again at entry 1 and leaves the later entries.
    w.Command8_Click(4);
    QCOMPARE(app.readFile("lang.dat"), fixtureFile(4, 20));
    QCOMPARE(shownTexts(w), expectedTexts(fixture(4, 20, 3)));
    // Without lang.dat the texts stay as they are.
    QVERIFY(QFile::remove(app.filePath("lang.dat")));
    w.Command8_Click(5);
    QCOMPARE(shownTexts(w), expectedTexts(fixture(4, 20, 3)));

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
        QCOMPARE(entries(), lines);
        QCOMPARE(Lingua(1), firstEntries[button]);
        // The scan summary puts the detection count right after entry 13.
        QVERIFY2(Lingua(13).endsWith(' ') && !Lingua(13).startsWith(' '), qPrintable(Lingua(13)));
    }
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
