// The allow list: path globs, the rules of allow.dat and their editing, and
// what a scan does with them: allowed detections neither listed nor removed
// but counted and reported, excluded paths never entered nor read.
#include "scanner/AllowListFile.h"
#include "scanner/PathGlob.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString md5(const QByteArray &b)
{
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex());
}

QString sha256(const QByteArray &b)
{
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex());
}

AllowRule rule(const QString &line)
{
    QString error;
    const std::optional<AllowRule> r = AllowRule::parse(line, &error);
    if (!r)
        qFatal("not a rule: %s (%s)", qPrintable(line), qPrintable(error));
    return *r;
}

QByteArray reportOf(const ScanSession &session)
{
    return readTestFile(session.reportPath());
}

LanguageTexts texts()
{
    LanguageTexts t;
    t.setText(13, "objects, found ");
    t.setText(14, "threats in");
    t.setText(16, "seconds");
    t.setText(32, "Found:");
    t.setText(AllowedCountText, ", allowed: ");
    t.setText(ExcludedCountText, ", excluded: ");
    t.setText(AllowedRecordText, "Allowed:");
    t.setText(ExcludedPathText, "Excluded:");
    return t;
}

std::unique_ptr<ScanSession> newSession(const TestAppFolder &app, EngineHandle engine)
{
    return std::make_unique<ScanSession>(std::move(engine), app.paths(), texts());
}

} // namespace

class AllowListTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void globs_data();
    void globs();
    void globOfAnyLengthEndsWithoutBacktracking();
    void rules_data();
    void rules();
    void objectTextsRoundTrip();
    void allowFileKeepsWhatItDoesNotChange();
    void scanCountsAndReportsAllowedAndExcluded();
    void excludedPathsAreNeverEnteredNorRead();
    void registryAndCookieDetectionsAllowed();
};

void AllowListTest::globs_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("matches");
    const struct {
        const char *tag, *pattern, *path;
        bool matches;
    } cases[] = {
        {"star within a name", "/home/u/*.txt", "/home/u/a.txt", true},
        {"star stops at a separator", "/home/u/*.txt", "/home/u/s/a.txt", false},
        {"star matches empty", "/home/u/*.txt", "/home/u/.txt", true},
        {"whole path only", "/home/u", "/home/u/a", false},
        {"no prefix match", "/home/u/a", "/home/u", false},
        {"folders: none", "/home/**/cache", "/home/cache", true},
        {"folders: one", "/home/**/cache", "/home/a/cache", true},
        {"folders: several", "/home/**/cache", "/home/a/b/c/cache", true},
        {"folders: whole names only", "/home/**/cache", "/home/xcache", false},
        {"folders: not the parent", "/home/**/cache", "/homecache", false},
        {"leading folders", "**/node_modules", "/x/y/node_modules", true},
        {"double star spans", "/home/**", "/home/a/b/c", true},
        {"double star not the folder", "/home/**", "/home", false},
        {"double star in a name", "/a/b**z", "/a/bx/yz", true},
        {"question mark", "/a/?.bin", "/a/x.bin", true},
        {"question mark is one", "/a/?.bin", "/a/xy.bin", false},
        {"question mark no separator", "/a?b", "/a/b", false},
        {"brackets stand for themselves", "/a/[x].bin", "/a/[x].bin", true},
        {"brackets are no list", "/a/[x].bin", "/a/x.bin", false},
#ifdef Q_OS_WIN
        {"letter case ignored", "C:/Users/*/AppData", "c:\\users\\bob\\appdata", true},
#else
        {"letter case counts", "/Home/U", "/home/u", false},
        {"backslash is a name character", "/a\\b", "/a\\b", true},
#endif
        {"empty pattern", "", "", true},
        {"empty pattern, a path", "", "/a", false},
    };
    for (const auto &c : cases)
        QTest::newRow(c.tag) << QString(c.pattern) << QString(c.path) << c.matches;
}

void AllowListTest::globs()
{
    QFETCH(QString, pattern);
    QFETCH(QString, path);
    QFETCH(bool, matches);
    QCOMPARE(PathGlob(pattern).matches(path), matches);
}

void AllowListTest::globOfAnyLengthEndsWithoutBacktracking()
{
    // A pattern that makes a backtracking matcher take exponential time,
    // against a long path: the automaton answers at once.
    const QString pattern = QString("/*a").repeated(1) + QString("*a").repeated(40) + "*b";
    const QString path = "/" + QString(20000, 'a');
    QVERIFY(!PathGlob(pattern).matches(path));
    QVERIFY(PathGlob(pattern.chopped(1) + "a").matches(path));
    const QString deep = QString("/**").repeated(60) + "/x";
    QVERIFY(PathGlob(deep).matches(QString("/d").repeated(500) + "/x"));
}

void AllowListTest::rules_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("text");
    QTest::newRow("path") << "path /home/u/**" << true << "path /home/u/**";
    QTest::newRow("tab after the keyword") << "threat\tAdware.X" << true << "threat Adware.X";
    QTest::newRow("value keeps its spaces") << "object  a b " << true << "object  a b ";
    QTest::newRow("digest lower-cased")
        << "sha256 " + QString(64, 'A') << true << "sha256 " + QString(64, 'a');
    QTest::newRow("digest too short") << "sha256 abc" << false << "";
    QTest::newRow("digest not hex") << "sha256 " + QString(64, 'g') << false << "";
    QTest::newRow("unknown keyword") << "file /x" << false << "";
    QTest::newRow("keyword in capitals") << "PATH /x" << false << "";
    QTest::newRow("no value") << "path" << false << "";
    QTest::newRow("empty value") << "threat " << false << "";
}

void AllowListTest::rules()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(QString, text);
    QString error;
    const std::optional<AllowRule> r = AllowRule::parse(line, &error);
    QCOMPARE(bool(r), valid);
    if (r)
        QCOMPARE(r->text(), text);
    else
        QVERIFY(!error.isEmpty());
}

void AllowListTest::objectTextsRoundTrip()
{
    const QByteArray samples[] = {
        "mozilla:/home/u/.mozilla/cookies.txt+.ads.test\tTRUE\t/\tFALSE\t0\tid\t1\r\n",
        "HKEY_CURRENT_USER\\Software\\Bad\\\"Run\"",
        "/tmp/bad\xff\xfe name\x01\x7f.exe",
        "/tmp/\xc2\x85next line \xc3\xa9t\xc3\xa9",
        "\\x41 stays \\\\ written",
    };
    for (const QByteArray &bytes : samples) {
        const QString text = AllowList::objectRuleText(bytes);
        QVERIFY2(!text.contains('\n') && !text.contains('\r') && !text.contains('\t'),
                 qPrintable(text));
        QCOMPARE(AllowList::objectBytesOfRule(text), bytes);
    }
    QCOMPARE(AllowList::objectRuleText("a\\b\r\n"), QString("a\\\\b\\r\\n"));
    // Written by hand, a Windows path whose backslashes start no escape
    // stands for itself.
    QCOMPARE(AllowList::objectBytesOfRule("C:\\Users\\bad.exe"), QByteArray("C:\\Users\\bad.exe"));
    QCOMPARE(AllowList::objectBytesOfRule("end\\"), QByteArray("end\\"));
    QCOMPARE(AllowList::objectBytesOfRule("\\xzz"), QByteArray("\\xzz"));
}

void AllowListTest::allowFileKeepsWhatItDoesNotChange()
{
    TestAppFolder app;
    const QString path = app.filePath("allow.dat");
    AllowListFile missing;
    QVERIFY(missing.read(path));
    QVERIFY(missing.rules().isEmpty());

    writeTestFile(path, "\xEF\xBB\xBF# mine\r\n"
                        "path /home/u/keep/**\r\n"
                        "\r\n"
                        "   # indented comment\n"
                        "threat Adware.Sample\n"
                        "nonsense here\n"
                        "sha256 " +
                            QByteArray(64, 'F') +
                            "\n"
                            "object /home/u/a\\\\b.exe");
    AllowListFile file;
    QVERIFY(file.read(path));
    QCOMPARE(file.rules().size(), 4);
    QCOMPARE(file.rules()[0].text(), QString("path /home/u/keep/**"));
    QCOMPARE(file.rules()[3].value, QString("/home/u/a\\\\b.exe"));
    QCOMPARE(file.problems(), QStringList{"line 6: unknown rule \"nonsense\" (path, threat, "
                                          "object or sha256)"});
    const AllowList list = file.allowList();
    QVERIFY(list.excludesPath(QString("/home/u/keep/x")));
    QVERIFY(list.allows("adware.sample", "anything", std::nullopt));
    QVERIFY(list.allows("Other", "/home/u/a\\b.exe", std::nullopt));
    QVERIFY(list.allows("Other", "x", QByteArray(32, char(0xff))));
    QVERIFY(!list.allows("Other", "x", QByteArray(32, char(0xfe))));
    QVERIFY(!list.allows("Other", "x", std::nullopt));

    QVERIFY(file.remove(2));
    QVERIFY(!file.remove(4));
    QVERIFY(!file.remove(0));
    file.add(rule("object C:\\x"));
    QVERIFY(file.write(path));
    const QByteArray written = readTestFile(path);
    QCOMPARE(written, QByteArray("# mine\r\n"
                                 "path /home/u/keep/**\r\n"
                                 "\r\n"
                                 "   # indented comment\r\n"
                                 "nonsense here\r\n"
                                 "sha256 " +
                                 QByteArray(64, 'F') +
                                 "\r\n"
                                 "object /home/u/a\\\\b.exe\r\n"
                                 "object C:\\x\r\n"));
    AllowListFile again;
    QVERIFY(again.read(path));
    QCOMPARE(again.rules().size(), 4);

    // A list too large to be one is not read, and a scan then follows none.
    writeTestFile(path, QByteArray(AllowListFile::kMaxBytes + 1, '#'));
    AllowListFile huge;
    QVERIFY(!huge.read(path));
    QVERIFY(readAllowList(path, {"/x"}).rules().size() == 1);
}

void AllowListTest::scanCountsAndReportsAllowedAndExcluded()
{
    TestAppFolder app;
    const QString root = app.path() + "/scan";
    const QByteArray bySignature = "signature content";
    const QByteArray byName = "name-matched content";
    writeTestFile(root + "/a.bad", "plain");
    writeTestFile(root + "/kept.bad", "plain");
    writeTestFile(root + "/sub/named.bad", byName);
    writeTestFile(root + "/sub/trojan.bin", bySignature);
    writeTestFile(root + "/sub/other.bin", bySignature + "!");
    writeTestFile(root + "/skip/x.bad", "plain");
    writeTestFile(root + "/skip.log", "plain");
    DatabaseTables t;
    // Loaded, as from files: the scan is then complete.
    t.CookDbLoaded = t.TrojSigLoaded = t.RegDbLoaded = true;
    setTableEntries(t.CookDbEntries, t.CookDbCount, {"***Adware.Bad", ".bad"});
    setTableEntries(t.TrojSigEntries, t.TrojSigCount,
                    {md5(bySignature) + " Trojan.Sig", md5(bySignature + "!") + " Trojan.Other"});
    AllowList allow;
    allow.add(rule("object " + AllowList::objectRuleText((root + "/kept.bad").toUtf8())));
    allow.add(rule("sha256 " + sha256(bySignature)));
    allow.add(rule("sha256 " + sha256(byName)));
    allow.add(rule("path " + root + "/skip"));
    allow.add(rule("path **/*.log"));

    QStringList rowsSeen;
    QString summaryOfOneWorker;
    for (int workers : {1, 3}) {
        const std::unique_ptr<ScanSession> session = newSession(app, makeEngine(t));
        session->setWorkerThreads(workers);
        session->setAllowList(allow);
        ScanRun run(*session);
        run.setTickSource([] { return qint64(0); });
        const QString summary = run.run(root + "/", false);

        QStringList rows;
        for (qsizetype i = 1; i <= session->results().count(); ++i)
            rows << session->results().row(i).name + "|" + session->results().row(i).location;
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows.contains("Adware.Bad|" + root + "/a.bad"));
        QVERIFY(rows.contains("Trojan.Other|" + root + "/sub/other.bin"));
        QCOMPARE(session->state().DetectionCount, 2);
        QCOMPARE(session->allowedDetections().size(), 3);
        QCOMPARE(session->excludedPaths().size(), 2);
        QVERIFY(session->excludedPaths().contains(root + "/skip"));
        QVERIFY(session->excludedPaths().contains(root + "/skip.log"));
        QVERIFY2(summary.endsWith(session->Lingua(AllowedCountText) + "3" +
                                  session->Lingua(ExcludedCountText) + "2"),
                 qPrintable(summary));

        const QString report = QString::fromUtf8(reportOf(*session));
        const QString allowedHead = session->Lingua(AllowedRecordText) + " ";
        QVERIFY2(report.count(allowedHead) == 3, qPrintable(report));
        QVERIFY(report.contains(allowedHead + "TROJAN.SIG\r\n" + root + "/sub/trojan.bin\r\n"));
        QVERIFY(report.contains(allowedHead + "ADWARE.BAD\r\n" + root + "/kept.bad\r\n"));
        QVERIFY(report.contains(allowedHead + "ADWARE.BAD\r\n" + root + "/sub/named.bad\r\n"));
        QVERIFY(report.contains(session->Lingua(ExcludedPathText) + " " + root + "/skip\r\n"));
        // Never reported as clean: the allowed section follows the records.
        QVERIFY(report.indexOf(allowedHead) > report.indexOf(root + "/a.bad"));
        if (workers == 1) {
            rowsSeen = rows;
            summaryOfOneWorker = summary;
        } else {
            QCOMPARE(rows, rowsSeen);
            QCOMPARE(summary, summaryOfOneWorker);
        }
    }

    // Without rules the summary has no suffix and everything is listed.
    const std::unique_ptr<ScanSession> plain = newSession(app, makeEngine(t));
    ScanRun run(*plain);
    const QString summary = run.run(root + "/", false);
    QCOMPARE(plain->state().DetectionCount, 6);
    QVERIFY(!summary.contains(plain->Lingua(AllowedCountText)));
    QVERIFY(!summary.contains(plain->Lingua(ExcludedCountText)));
}

void AllowListTest::excludedPathsAreNeverEnteredNorRead()
{
    TestAppFolder app;
    const QString root = app.path() + "/scan";
    writeTestFile(root + "/locked/inside.bad", "x");
    writeTestFile(root + "/open/inside.bad", "x");
    QVERIFY(::mkfifo(QFile::encodeName(root + "/open/pipe.bad"), 0600) == 0);
    QVERIFY(::chmod(QFile::encodeName(root + "/locked"), 0) == 0);
    DatabaseTables t;
    setTableEntries(t.CookDbEntries, t.CookDbCount, {"***Adware.Bad", ".bad"});
    const EngineHandle engine = makeEngine(t);

    // Unexcluded, a folder nobody may list is unreadable (as root it is
    // listed all the same).
    const std::unique_ptr<ScanSession> before = newSession(app, engine);
    ScanRun(*before).run(root + "/", false);
    const qint32 allObjects = before->state().ObjectsScanned;

    const std::unique_ptr<ScanSession> session = newSession(app, engine);
    AllowList allow;
    allow.add(rule("path " + root + "/locked"));
    allow.add(rule("path " + root + "/open/pipe.bad"));
    session->setAllowList(allow);
    ScanRun(*session).run(root + "/", false);
    QVERIFY(session->unreadablePaths().isEmpty());
    QStringList excluded = session->excludedPaths();
    excluded.sort();
    QCOMPARE(excluded, QStringList({root + "/locked", root + "/open/pipe.bad"}));
    QCOMPARE(session->state().DetectionCount, 1);
    QVERIFY(session->state().ObjectsScanned < allObjects);

    // The scan root itself excluded: nothing is examined at all.
    const std::unique_ptr<ScanSession> whole = newSession(app, engine);
    AllowList all;
    all.add(rule("path " + root));
    whole->setAllowList(all);
    ScanRun(*whole).run(root + "/", false);
    QCOMPARE(whole->state().ObjectsScanned, 0);
    QCOMPARE(whole->excludedPaths(), QStringList{root});
    ::chmod(QFile::encodeName(root + "/locked"), 0700);
}

void AllowListTest::registryAndCookieDetectionsAllowed()
{
    TestAppFolder app;
    const QString root = app.path() + "/win";
    HiveBuilder software(machineHivePath(root, "SOFTWARE"));
    software.setText("Bad\\Run", "Tool", "x");
    software.addKey("Other\\Key");
    software.commit();
    writeTestFile(root + "/Mozilla/cookies.txt", "www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t1\n"
                                                 "ads.tracker.test\tFALSE\t/\tFALSE\t0\tid\t2\n");
    DatabaseTables t;
    // Loaded, as from files: the scan is then complete.
    t.CookDbLoaded = t.TrojSigLoaded = t.RegDbLoaded = true;
    setTableEntries(t.RegDbEntries, t.RegDbCount,
                    {"***Adware.Reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\\Run\\\"Tool\"",
                     "***Other.Reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Key"});
    setTableEntries(t.CookDbEntries, t.CookDbCount,
                    {"***Tracking Cookie", "123456789012*tracker.test*4567", "***End"});
    const std::unique_ptr<ScanSession> session = newSession(app, makeEngine(t));
    AllowList allow;
    allow.add(rule("threat ADWARE.reg"));
    const QByteArray cookie = "mozilla:" + QFile::encodeName(root + "/Mozilla/cookies.txt") +
                              "+www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t1\n";
    allow.add(rule("object " + AllowList::objectRuleText(cookie)));
    session->setAllowList(allow);
    const QString summary = ScanRun(*session).run(root + "/", true);
    QStringList rows;
    for (qsizetype i = 1; i <= session->results().count(); ++i)
        rows << session->results().row(i).location;
    QCOMPARE(
        rows,
        QStringList({"HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Key",
                     QString::fromUtf8(cookie).replace("id\t1", "id\t2").replace("www.", "ads.")}));
    QCOMPARE(session->allowedDetections().size(), 2);
    QCOMPARE(session->allowedDetections()[0].name, QString("Adware.Reg"));
    QCOMPARE(session->allowedDetections()[1].object, QString::fromUtf8(cookie));
    QVERIFY(summary.endsWith(session->Lingua(AllowedCountText) + "2"));
}

QTEST_GUILESS_MAIN(AllowListTest)
#include "tst_allow_list.moc"
