// What torvakine-cli prints can neither drive a terminal nor pass one file for
// another; a report it cannot write ends it with status 2; and the staged tool
// finds its hive helper for the removal of registry rows.
#include "platform/HiveRegistry.h"
#include "platform/VisibleText.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/RawNames.h"
#include "tests/support/TestAppFolder.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out, err;
};

// Runs the staged tool; limit, when not 0, is the largest file it may write
// (with the signal of that limit ignored, as for a full disk).
Result runCli(const QStringList &args, rlim_t limit = 0)
{
    QProcess p;
    if (limit) {
        p.setChildProcessModifier([limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit l = {limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &l);
        });
    }
    p.start(QStringLiteral(TORVAKINE_CLI_PATH), args);
    if (!p.waitForStarted() || !p.waitForFinished(120000))
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

// True when every byte is printable: valid UTF-8 without control characters
// (C0 but the tab and the line feed, DEL, C1).
bool isInert(const QByteArray &bytes)
{
    if (QString::fromUtf8(bytes).toUtf8() != bytes)
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7f)
            return false;
        if (c == 0xc2 && i + 1 < bytes.size() && uchar(bytes[i + 1]) <= 0x9f)
            return false;
    }
    return true;
}

} // namespace

class TestCliOutput : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { removeRawNames(m_app->filePath("tree/names")); }
    void visibleTextRules();
    void printedNamesAreInert();
    void aReportThatCannotBeWrittenEndsWithTwo();
    void registryRemovalThroughTheStagedHelper();

private:
    QStringList scanArgs(const QString &root, const QStringList &more = {}) const
    {
        return QStringList{"scan", "--app-folder", m_app->path()} + more + QStringList{root};
    }
    std::unique_ptr<TestAppFolder> m_app;
};

void TestCliOutput::init()
{
    m_app = std::make_unique<TestAppFolder>();
    QByteArray language;
    for (int n = 1; n <= 30; ++n)
        language += QByteArray::number(n) + "\r\n";
    m_app->writeFile("lang.dat", language + "Not deleted:\r\nFound:\r\n33\r\n34\r\n35\r\n"
                                            "36\r\nThe report failed:\r\n");
    m_app->writeDatabase("cookdb.dat", "[[[c1\n***Trojan.Evil\n*evil.exe\n***Tracking Cookie\n"
                                       "TRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n");
    m_app->writeDatabase("trojsig.dat", "[[[t1\n");
    m_app->writeDatabase("regdb.dat", "[[[r1\n***Spy.Reg\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Spy\n"
                                      "HKEY_CURRENT_USER\\Software\\Run\\\"Spy\"\n");
}

void TestCliOutput::visibleTextRules()
{
    // Input, shown with the tool's style (backslash doubled, tab escaped)
    // and with the report's (backslash and tab kept).
    const std::tuple<QByteArray, QByteArray, QByteArray> cases[] = {
        {"plain text \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
         "plain text \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
         "plain text \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"},
        {"a\\b\tc", "a\\\\b\\x09c", "a\\b\tc"},
        {"\r\n\x1b[2J\x07\x7f", "\\r\\n\\x1b[2J\\x07\\x7f", "\\r\\n\\x1b[2J\\x07\\x7f"},
        // C1 characters as the two bytes of their UTF-8 form.
        {"\xc2\x80\xc2\x9b\xc2\x9f\xc2\xa0", "\\xc2\\x80\\xc2\\x9b\\xc2\\x9f\xc2\xa0",
         "\\xc2\\x80\\xc2\\x9b\\xc2\\x9f\xc2\xa0"},
        // Invalid: a stray continuation byte, a lone lead byte, a cut
        // sequence, overlong forms, a surrogate, past U+10FFFF, 0xFF.
        {"\x80|\xc3|\xe2\x82|\xc0\xaf|\xe0\x80\xaf|\xed\xa0\x80|\xf4\x90\x80\x80|\xff",
         "\\x80|\\xc3|\\xe2\\x82|\\xc0\\xaf|\\xe0\\x80\\xaf|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80|"
         "\\xff",
         "\\x80|\\xc3|\\xe2\\x82|\\xc0\\xaf|\\xe0\\x80\\xaf|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80|"
         "\\xff"},
        // The replacement character itself is valid text and stays.
        {"\xef\xbf\xbd", "\xef\xbf\xbd", "\xef\xbf\xbd"},
        {QByteArray("nul\0", 4), "nul\\x00", "nul\\x00"},
    };
    VisibleText::Style report;
    report.doubleBackslash = false;
    report.keepTab = true;
    for (const auto &[in, tool, inReport] : cases) {
        QCOMPARE(VisibleText::fromUtf8Bytes(in, VisibleText::Style{}), tool);
        QCOMPARE(VisibleText::fromUtf8Bytes(in, report), inReport);
        QVERIFY(isInert(tool) && !tool.contains('\t') && !tool.contains('\n'));
    }
    // Text: the same rules on its UTF-8 form.
    QCOMPARE(VisibleText::fromText(QString("a\u009b\nb"), VisibleText::Style{}),
             QString("a\\xc2\\x9b\\nb"));
}

void TestCliOutput::printedNamesAreInert()
{
    const QString root = m_app->filePath("tree");
    // Two names that a decoder shows alike: one holds the replacement
    // character, the other a byte that is not UTF-8 in its place.
    const QList<QByteArray> names = {"esc\x1b]0;owned\x07"
                                     "evil.exe",
                                     "csi\xc2\x9b"
                                     "2Jevil.exe",
                                     "line\nTrojan.Evil\tforged evil.exe",
                                     "back\\slash evil.exe",
                                     "same\xff"
                                     "evil.exe",
                                     "same\xef\xbf\xbd"
                                     "evil.exe"};
    for (const QByteArray &name : names)
        writeRawName(root + "/names", name);
    writeTestFile(root + "/mozilla/cookies.txt", "www.tracker.test\tid\x1b[31m\r\n");
    const Result r = runCli(scanArgs(root, {"--no-registry"}));
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(isInert(r.out), r.out.constData());
    QVERIFY2(isInert(r.err), r.err.constData());
    QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), names.size() + 1);
    const QByteArray folder = QFile::encodeName(root) + "/names/";
    for (const QByteArray &line :
         {"Trojan.Evil\t" + folder + "esc\\x1b]0;owned\\x07evil.exe",
          "Trojan.Evil\t" + folder + "csi\\xc2\\x9b2Jevil.exe",
          "Trojan.Evil\t" + folder + "line\\nTrojan.Evil\\x09forged evil.exe",
          "Trojan.Evil\t" + folder + "back\\\\slash evil.exe",
          "Trojan.Evil\t" + folder + "same\\xffevil.exe",
          "Trojan.Evil\t" + folder + "same\xef\xbf\xbd" + "evil.exe",
          "Tracking Cookie\tmozilla:" + QFile::encodeName(root) +
              "/mozilla/cookies.txt+www.tracker.test\\x09id\\x1b[31m\\r\\n"})
        QVERIFY2(lines.contains(line), line.constData());
}

void TestCliOutput::aReportThatCannotBeWrittenEndsWithTwo()
{
    const QString root = m_app->filePath("tree");
    for (int i = 0; i < 30; ++i)
        writeTestFile(root + QString("/%1/evil.exe").arg(i), "x");
    // The report folder cannot be made.
    writeTestFile(m_app->filePath("Report"), "a file in the folder's place");
    Result r = runCli(scanArgs(root, {"--no-registry"}));
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out.count('\n'), 30);
    const QByteArray told = "torvakine-cli: The report failed: " + QFile::encodeName(m_app->path());
    QVERIFY2(r.err.contains(told + "/Report/Report "), r.err.constData());

    // The disk fills up halfway through the report.
    QVERIFY(QFile::remove(m_app->filePath("Report")));
    r = runCli(scanArgs(root, {"--no-registry"}), 1000);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out.count('\n'), 30);
    QVERIFY2(r.err.contains(told + "/Report/Report "), r.err.constData());
    const QStringList reports = QDir(m_app->filePath("Report")).entryList(QDir::Files);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(QFileInfo(m_app->filePath("Report/" + reports[0])).size(), 1000);

    // With room, the same scan ends with 1 and says nothing of the report.
    r = runCli(scanArgs(root, {"--no-registry"}));
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!r.err.contains("The report failed"));
}

void TestCliOutput::registryRemovalThroughTheStagedHelper()
{
    // The staged tool changes hives through the helper staged beside it.
    const QString root = m_app->filePath("install");
    HiveBuilder software(machineHivePath(root, "SOFTWARE"));
    software.setText("Spy", "Path", "spy.exe");
    software.setText("Vendor", "Path", "good.exe");
    software.commit();
    HiveBuilder user(root + "/Users/alice/NTUSER.DAT");
    user.setText("Software\\Run", "Spy", "spy.exe");
    user.setText("Software\\Run", "Mail", "mail.exe");
    user.commit();
    const Result r = runCli(scanArgs(root, {"--remove"}));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray("Spy.Reg\tHKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Spy\n"
                               "Spy.Reg\tHKEY_CURRENT_USER\\\\Software\\\\Run\\\\\"Spy\"\n"));
    const Result again = runCli(scanArgs(root));
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.out, QByteArray());
    // What no row named is still there.
    HiveRegistry installed(root, RegistryAccess::ReadOnly);
    QVERIFY(installed.keyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor"));
    QVERIFY(!installed.keyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Spy"));
    QCOMPARE(installed.queryValue(PredefinedKey::CurrentUser, "Software\\Run", "Mail").toString(),
             QString("mail.exe"));
    QVERIFY(!registryValueIsPresent(
        installed.queryValue(PredefinedKey::CurrentUser, "Software\\Run", "Spy")));
    // The report holds the two records and no failure.
    const QStringList reports = QDir(m_app->filePath("Report")).entryList(QDir::Files);
    QCOMPARE(reports.size(), 2);
    for (const QString &report : reports)
        QVERIFY(!readTestFile(m_app->filePath("Report/" + report)).contains("Not deleted:"));
}

QTEST_GUILESS_MAIN(TestCliOutput)
#include "tst_cli_output.moc"
