// The language file reader, the six shipped language files, the language
// switch of the main window and the last-update line.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "language/LanguageFile.h"
#include "language/LanguageSwitch.h"
#include "language/Lingua.h"
#include "platform/Cp1252.h"
#include "platform/StartupState.h"
#include "tests/support/TestAppFolder.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <functional>

namespace {

// Item n of the generated language file of one language: Windows-1252 text
// that differs from language to language and from entry to entry.
QByteArray fixtureItem(int language, int n)
{
    return "Lang" + QByteArray::number(language) + " caf\xe9 " + QByteArray::number(n);
}

// A generated language file: count items, one a line, CR LF ends.
QByteArray fixtureFile(int language, int count = 34)
{
    QByteArray bytes;
    for (int n = 1; n <= count; ++n)
        bytes += fixtureItem(language, n) + "\r\n";
    return bytes;
}

QString fixtureText(int language, int n)
{
    return Cp1252::toUnicode(fixtureItem(language, n));
}

QString languagePath(int index)
{
    return QStringLiteral("Language/") + languageFileName(index);
}

// Every text of the main window that the language sets, in a fixed order:
// the tooltips and captions that AssociaStringhe hands out, Label3 and the
// last-update line.
QStringList shownTexts(const Form1 &form)
{
    return {form.Command1->toolTip(), form.Image1->toolTip(),   form.Command2->toolTip(),
            form.Image3->toolTip(),   form.Check1->text(),      form.Command4->toolTip(),
            form.Command6->toolTip(), form.Command5->toolTip(), form.Command7->toolTip(),
            form.Image4->toolTip(),   form.Label3->text(),      form.lblMessages->text()};
}

// What shownTexts gives when the texts of entry n come from text(n) and no
// update date is known.
QStringList expectedTexts(const std::function<QString(int)> &text)
{
    return {text(1),  text(1),  text(2),  text(3),  text(4),  text(10),
            text(12), text(17), text(18), text(18), text(26), text(33) + QStringLiteral(": ") + text(34)};
}

QStringList expectedFixtureTexts(int language)
{
    return expectedTexts([language](int n) { return fixtureText(language, n); });
}

// An application folder whose lang.dat is the generated file of language
// and whose Language folder holds the generated files of all six buttons.
void writeFixtureFolder(const TestAppFolder &app, int language)
{
    app.writeFile(QStringLiteral("lang.dat"), fixtureFile(language));
    for (int i = 0; i < 6; ++i)
        app.writeFile(languagePath(i), fixtureFile(i));
}

QString shippedPath(const QString &name)
{
    return QStringLiteral(TORVAKINE_LANGUAGE_SOURCE_DIR "/") + name;
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // Reading rules.
    void readsQuotedItemsWithCommas();
    void skipsEmptyLinesAndLeadingSpaces();
    void readsOnlyTheFirst34Items();
    void shorterFileKeepsLaterEntries();
    void readsLastItemWithoutLineEnd();
    void decodesWindows1252();
    void missingFileChangesNothing();

    // The shipped language files.
    void shippedFile_data();
    void shippedFile();

    // The language switch on the main window.
    void switchChangesEveryTextAndLangDat();
    void switchToMissingFileKeepsTextsAndLangDat();
    void switchToShorterFileKeepsLaterEntries();
    void switchReachesEveryShippedFile();

    // The last-update line.
    void lastUpdateLine_data();
    void lastUpdateLine();
};

void TestLanguage::init()
{
    resetLanguageState();
}

void TestLanguage::readsQuotedItemsWithCommas()
{
    readLanguageText("\"one, two\"\r\n"
                     "plain\r\n"
                     "\"  spaced ,\" ignored after the quote\r\n"
                     "\"a\",b,c\r\n"
                     "\"objects scanned, found: \"\r\n");
    QCOMPARE(Lingua(1), QStringLiteral("one, two"));
    QCOMPARE(Lingua(2), QStringLiteral("plain"));
    QCOMPARE(Lingua(3), QStringLiteral("  spaced ,"));
    QCOMPARE(Lingua(4), QStringLiteral("a"));
    QCOMPARE(Lingua(5), QStringLiteral("b"));
    QCOMPARE(Lingua(6), QStringLiteral("c"));
    QCOMPARE(Lingua(7), QStringLiteral("objects scanned, found: "));
    QCOMPARE(Lingua(8), QString());
}

void TestLanguage::skipsEmptyLinesAndLeadingSpaces()
{
    readLanguageText("\r\n\r\nfirst\r\n\r\n\r\n   second\r\n\n\rthird   \r\n\r\n");
    QCOMPARE(Lingua(1), QStringLiteral("first"));
    QCOMPARE(Lingua(2), QStringLiteral("second"));
    QCOMPARE(Lingua(3), QStringLiteral("third"));
    QCOMPARE(Lingua(4), QString());
}

void TestLanguage::readsOnlyTheFirst34Items()
{
    readLanguageText(fixtureFile(1, 40));
    for (int n = 1; n <= 34; ++n)
        QCOMPARE(Lingua(n), fixtureText(1, n));
    // Items 35 to 40 land nowhere: the table has no entry for them and a
    // second read starts again at entry 1.
    readLanguageText(fixtureFile(2, 1));
    QCOMPARE(Lingua(1), fixtureText(2, 1));
    QCOMPARE(Lingua(2), fixtureText(1, 2));
}

void TestLanguage::shorterFileKeepsLaterEntries()
{
    readLanguageText(fixtureFile(1));
    readLanguageText(fixtureFile(2, 20));
    for (int n = 1; n <= 20; ++n)
        QCOMPARE(Lingua(n), fixtureText(2, n));
    for (int n = 21; n <= 34; ++n)
        QCOMPARE(Lingua(n), fixtureText(1, n));
}

void TestLanguage::readsLastItemWithoutLineEnd()
{
    readLanguageText("a\r\nb\r\nlast item");
    QCOMPARE(Lingua(2), QStringLiteral("b"));
    QCOMPARE(Lingua(3), QStringLiteral("last item"));

    resetLanguageState();
    readLanguageText("a\r\n\"quote never closed, still read");
    QCOMPARE(Lingua(2), QStringLiteral("quote never closed, still read"));
    QCOMPARE(Lingua(3), QString());
}

void TestLanguage::decodesWindows1252()
{
    TestAppFolder app;
    app.writeFile(QStringLiteral("lang.dat"), "Caf\xe9\r\nEspa\xf1ol\r\n\x80 \x96 \x9c\r\n");
    readCurrentLanguage();
    QCOMPARE(Lingua(1), QStringLiteral("Caf\u00e9"));
    QCOMPARE(Lingua(2), QStringLiteral("Espa\u00f1ol"));
    QCOMPARE(Lingua(3), QStringLiteral("\u20ac \u2013 \u0153"));
}

void TestLanguage::missingFileChangesNothing()
{
    TestAppFolder app;
    readLanguageText(fixtureFile(1));
    readCurrentLanguage();
    readLanguageFile(app.filePath(QStringLiteral("no such file")));
    readLanguageText(QByteArray());
    for (int n = 1; n <= 34; ++n)
        QCOMPARE(Lingua(n), fixtureText(1, n));
}

void TestLanguage::shippedFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("entry1");
    // The file names and their first entries as the language buttons offer them.
    QTest::newRow("english") << QStringLiteral("english") << QStringLiteral("Scan");
    QTest::newRow("francais") << QStringLiteral("fran\u00e7ais") << QStringLiteral("Balayage.");
    QTest::newRow("italiano") << QStringLiteral("italiano") << QStringLiteral("Avvia scansione");
    QTest::newRow("deutsch") << QStringLiteral("deutsch") << QStringLiteral("Anfangsscan");
    QTest::newRow("espanol") << QStringLiteral("espa\u00f1ol") << QStringLiteral("Inicia escansion");
    QTest::newRow("nederlands") << QStringLiteral("nederlands") << QStringLiteral("Aftasten");
}

void TestLanguage::shippedFile()
{
    QFETCH(QString, name);
    QFETCH(QString, entry1);
    const QByteArray bytes = readTestFile(shippedPath(name));
    QVERIFY2(!bytes.isEmpty(), qPrintable(shippedPath(name)));

    // CR LF after every line, no other line end and no other control
    // character; no byte that Windows-1252 leaves unassigned.
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        QVERIFY2(b >= 0x20 || c == '\r' || c == '\n', qPrintable(name));
        QVERIFY2(b != 0x81 && b != 0x8d && b != 0x8f && b != 0x90 && b != 0x9d, qPrintable(name));
    }

    // One item a line, 34 lines: each line reads back as exactly one entry,
    // which also proves that no unquoted line holds a comma or loses a space.
    QList<QByteArray> lines = bytes.split('\n');
    QVERIFY(lines.takeLast().isEmpty());
    QCOMPARE(lines.size(), 34);
    readLanguageText(bytes);
    for (int n = 1; n <= 34; ++n) {
        QByteArray line = lines[n - 1];
        line.chop(1); // the CR
        if (line.startsWith('"') && line.endsWith('"') && line.size() >= 2)
            line = line.mid(1, line.size() - 2);
        QVERIFY2(!line.trimmed().isEmpty(), qPrintable(name + QStringLiteral(" entry %1").arg(n)));
        QCOMPARE(Lingua(n), Cp1252::toUnicode(line));
        // UTF-8 read as Windows-1252 would show up as "Ã" followed by a
        // second character; none of the six languages writes that letter.
        QVERIFY2(!Lingua(n).contains(QChar(0x00c3)), qPrintable(name + QStringLiteral(" entry %1").arg(n)));
    }
    QCOMPARE(Lingua(1), entry1);
    // The scan summary puts the detection count right after entry 13.
    QVERIFY(Lingua(13).endsWith(QLatin1Char(' ')));
    QVERIFY(!Lingua(13).startsWith(QLatin1Char(' ')));
}

void TestLanguage::switchChangesEveryTextAndLangDat()
{
    TestAppFolder app;
    writeFixtureFolder(app, 0);
    Form1 form;
    form.Form_Load();
    const QStringList before = shownTexts(form);
    QCOMPARE(before, expectedFixtureTexts(0));

    form.Command8_Click(3);
    const QStringList after = shownTexts(form);
    QCOMPARE(after, expectedFixtureTexts(3));
    for (qsizetype i = 0; i < after.size(); ++i)
        QVERIFY2(after[i] != before[i], qPrintable(QStringLiteral("text %1 unchanged").arg(i)));
    QCOMPARE(app.readFile(QStringLiteral("lang.dat")), fixtureFile(3));
    // The copy went through a temporary file that is gone now.
    QCOMPARE(QDir(app.path()).entryList(QDir::Files), QStringList{QStringLiteral("lang.dat")});
    for (int n = 1; n <= 34; ++n)
        QCOMPARE(Lingua(n), fixtureText(3, n));

    // The next start reads the chosen language.
    resetLanguageState();
    Form1 restarted;
    restarted.Form_Load();
    QCOMPARE(shownTexts(restarted), expectedFixtureTexts(3));
}

void TestLanguage::switchToMissingFileKeepsTextsAndLangDat()
{
    TestAppFolder app;
    writeFixtureFolder(app, 2);
    QVERIFY(QFile::remove(app.filePath(languagePath(5))));
    Form1 form;
    form.Form_Load();

    form.Command8_Click(5);
    QCOMPARE(shownTexts(form), expectedFixtureTexts(2));
    QCOMPARE(app.readFile(QStringLiteral("lang.dat")), fixtureFile(2));
    QCOMPARE(QDir(app.path()).entryList(QDir::Files), QStringList{QStringLiteral("lang.dat")});

    // Indexes that name no button behave the same way.
    form.Command8_Click(6);
    form.Command8_Click(-1);
    QCOMPARE(shownTexts(form), expectedFixtureTexts(2));
    QCOMPARE(app.readFile(QStringLiteral("lang.dat")), fixtureFile(2));
}

void TestLanguage::switchToShorterFileKeepsLaterEntries()
{
    TestAppFolder app;
    writeFixtureFolder(app, 0);
    app.writeFile(languagePath(4), fixtureFile(4, 20));
    Form1 form;
    form.Form_Load();

    form.Command8_Click(4);
    QCOMPARE(app.readFile(QStringLiteral("lang.dat")), fixtureFile(4, 20));
    QCOMPARE(shownTexts(form),
             expectedTexts([](int n) { return fixtureText(n <= 20 ? 4 : 0, n); }));
}

void TestLanguage::switchReachesEveryShippedFile()
{
    TestAppFolder app;
    for (int i = 0; i < 6; ++i)
        app.writeFile(languagePath(i), readTestFile(shippedPath(languageFileName(i))));
    app.writeFile(QStringLiteral("lang.dat"), readTestFile(shippedPath(languageFileName(0))));
    Form1 form;
    form.Form_Load();
    QCOMPARE(form.Command1->toolTip(), QStringLiteral("Scan"));

    QStringList seen;
    for (int i = 5; i >= 0; --i) {
        form.Command8_Click(i);
        const QByteArray chosen = readTestFile(shippedPath(languageFileName(i)));
        QVERIFY(!chosen.isEmpty());
        QCOMPARE(app.readFile(QStringLiteral("lang.dat")), chosen);
        readLanguageText(chosen);
        QCOMPARE(shownTexts(form), expectedTexts(Lingua));
        seen += form.Command1->toolTip();
    }
    seen.removeDuplicates();
    QCOMPARE(seen.size(), 6);
}

void TestLanguage::lastUpdateLine_data()
{
    QTest::addColumn<bool>("writeUpdDat");
    QTest::addColumn<QByteArray>("updDat");
    QTest::addColumn<QString>("shownDate");
    QTest::newRow("date") << true << QByteArray("06/12/2026 10:15:00\r\n")
                          << QStringLiteral("06/12/2026 10:15:00");
    QTest::newRow("first line empty, date on the second")
        << true << QByteArray("\r\n06/12/2026 10:15:00\r\n") << QString();
    QTest::newRow("empty file") << true << QByteArray() << QString();
    QTest::newRow("no file") << false << QByteArray() << QString();
}

void TestLanguage::lastUpdateLine()
{
    QFETCH(bool, writeUpdDat);
    QFETCH(QByteArray, updDat);
    QFETCH(QString, shownDate);
    TestAppFolder app;
    writeFixtureFolder(app, 1);
    if (writeUpdDat)
        app.writeFile(QStringLiteral("upd.dat"), updDat);
    Form1 form;
    form.Form_Load();
    QCOMPARE(startupState().LastUpdateText, shownDate);
    const QString tail = shownDate.isEmpty() ? fixtureText(1, 34) : shownDate;
    QCOMPARE(form.lblMessages->text(), fixtureText(1, 33) + QStringLiteral(": ") + tail);

    // A switch shows the line again in the new language.
    form.Command8_Click(2);
    const QString newTail = shownDate.isEmpty() ? fixtureText(2, 34) : shownDate;
    QCOMPARE(form.lblMessages->text(), fixtureText(2, 33) + QStringLiteral(": ") + newTail);
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
