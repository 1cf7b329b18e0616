// The download queue control: its events, its queue and the files it writes,
// against the loopback HTTP server and against a scripted read service.
#include "platform/NetworkAsyncReader.h"
#include "tests/support/TestAppFolder.h"
#include "update/Downloader.h"
#include "update/LoopbackHttpServer.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A read service whose notifications the test sends by hand.
class ScriptedReader : public AsyncReader
{
public:
    bool asyncRead(const QString &url, const QString &key, const QVariant &, int *errorNumber,
                   QString *errorText) override
    {
        if (refuse) {
            *errorNumber = 35;
            *errorText = QStringLiteral("refused");
            return false;
        }
        started.append(url + QLatin1Char('>') + key);
        return true;
    }
    void cancelAsyncRead(const QString &key) override { cancelled.append(key); }
    void progress(const QString &key, qint64 read, qint64 max, int status = 1)
    {
        AsyncProperty p;
        p.PropertyName = key;
        p.BytesRead = read;
        p.BytesMax = max;
        p.StatusCode = status;
        emit AsyncReadProgress(p);
    }
    void complete(const QString &key, int status, const QByteArray &value = {})
    {
        AsyncProperty p;
        p.PropertyName = key;
        p.StatusCode = status;
        p.Value = value;
        p.BytesRead = p.BytesMax = value.size();
        emit AsyncReadComplete(p);
    }
    bool refuse = false;
    QStringList started;
    QStringList cancelled;
};

// Records the control's events in the order they come.
class EventLog : public QObject
{
public:
    explicit EventLog(Downloader &d)
    {
        connect(&d, &Downloader::DownloadProgress, this, [this](qint32 cur, qint32 max, const QString &f) {
            progress.append({cur, max});
            events.append(QStringLiteral("progress:") + f);
        });
        connect(&d, &Downloader::DownloadError, this,
                [this](const QString &f) { events.append(QStringLiteral("error:") + f); });
        connect(&d, &Downloader::DownloadComplete, this,
                [this](qint32, const QString &f) { events.append(QStringLiteral("complete:") + f); });
        connect(&d, &Downloader::DownloadAllComplete, this, [this](const QStringList &failed) {
            events.append(QStringLiteral("all:") + failed.join(QLatin1Char('|')));
            ++allComplete;
        });
    }
    QStringList withoutProgress() const
    {
        QStringList out = events;
        out.removeIf([](const QString &e) { return e.startsWith(QLatin1String("progress:")); });
        return out;
    }
    QStringList events;
    QList<QPair<qint32, qint32>> progress;
    int allComplete = 0;
};

QByteArray patternBytes(int size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 7 % 251);
    return b;
}

QString ev(const char *kind, const QString &file)
{
    return QLatin1String(kind) + QLatin1Char(':') + file;
}

// A downloader over the scripted service in a fresh application folder.
struct ScriptedRig
{
    TestAppFolder app;
    ScriptedReader reader;
    Downloader d{reader};
    EventLog log{d};
    QString file(const char *name) { return app.filePath(QLatin1String(name)); }
};
} // namespace

class TestDownloader : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // Against the loopback server.
    void twoOfFourRequestsFail();
    void allFinishAndLongerFileIsReplacedExactly();
    void brokenDownloadLeavesOldFile_data();
    void brokenDownloadLeavesOldFile();
    void slowDownloadReportsProgress();

    // Against the scripted read service.
    void refusedStartsWarn();
    void completionAfterCancelAllDownload();
    void sameFileQueuedTwice();
    void progressWithoutTotalRaisesNothing();
    void otherStatusKeepsRequestPending();
    void unwritableOrRefusedContentIsNotWritten();

private:
    QString served(const QString &name) const { return m_repo->filePath(name); }
    QString dest(const QString &name) const { return m_dest->filePath(name); }
    QString url(const QString &name) const { return m_server->baseUrl() + QLatin1Char('/') + name; }
    QStringList destFolder() const { return QDir(m_dest->path()).entryList(QDir::Files | QDir::Hidden); }

    std::unique_ptr<QTemporaryDir> m_repo;
    std::unique_ptr<QTemporaryDir> m_dest;
    std::unique_ptr<LoopbackHttpServer> m_server;
};

void TestDownloader::init()
{
    m_repo = std::make_unique<QTemporaryDir>();
    m_dest = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<LoopbackHttpServer>(m_repo->path());
    QVERIFY(m_server->listen());
}

void TestDownloader::cleanup()
{
    m_server.reset();
    m_dest.reset();
    m_repo.reset();
}

void TestDownloader::twoOfFourRequestsFail()
{
    // A missing file, one byte over the size limit, and one exactly at it.
    NetworkAsyncReader reader;
    reader.setMaximumSize(10000);
    Downloader d(reader);
    EventLog log(d);
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);
    const QString one = dest(QStringLiteral("one.dat")), two = dest(QStringLiteral("two.dat"));
    const QString big = dest(QStringLiteral("big.dat")), fits = dest(QStringLiteral("fits.dat"));
    const QByteArray body = patternBytes(3000, 'a');
    writeTestFile(served(QStringLiteral("one.dat")), body);
    writeTestFile(two, "old content");
    writeTestFile(served(QStringLiteral("big.dat")), patternBytes(10001, 'b'));
    writeTestFile(served(QStringLiteral("fits.dat")), patternBytes(10000, 'f'));

    d.BeginDownload(url(QStringLiteral("one.dat")), one);
    d.BeginDownload(url(QStringLiteral("two.dat")), two);
    QCOMPARE(d.QueuedFiles(), QStringList({one, two}));
    QCOMPARE(d.QueuedStatus(), QList<quint8>({255, 255}));
    d.BeginDownload(url(QStringLiteral("big.dat")), big);
    d.BeginDownload(url(QStringLiteral("fits.dat")), fits);
    QVERIFY(all.wait(10000));
    const QStringList events = log.withoutProgress();
    QCOMPARE(events.size(), 5);
    QVERIFY(events.contains(ev("complete", one)) && events.contains(ev("complete", fits)));
    QVERIFY(events.contains(ev("error", two)) && events.contains(ev("error", big)));
    QStringList failed = all.first().first().toStringList();
    failed.sort();
    QCOMPARE(failed, QStringList({big, two}));
    QVERIFY(d.QueuedFiles().isEmpty() && d.QueuedStatus().isEmpty());
    QCOMPARE(readTestFile(one), body);
    QCOMPARE(readTestFile(fits), patternBytes(10000, 'f'));
    QVERIFY(!QFile::exists(big));
    // The server's error page never becomes the file.
    QCOMPARE(readTestFile(two), QByteArray("old content"));
}

void TestDownloader::allFinishAndLongerFileIsReplacedExactly()
{
    NetworkAsyncReader reader;
    Downloader d(reader);
    EventLog log(d);
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        names.append(QStringLiteral("f%1.dat").arg(i));
        writeTestFile(served(names.last()), patternBytes(100 + i * 500, char('k' + i)));
        d.BeginDownload(url(names.last()), dest(names.last()));
    }
    writeTestFile(dest(names.first()), patternBytes(20000, 'z'));
    QVERIFY(all.wait(10000));
    QCOMPARE(all.size(), 1);
    QCOMPARE(log.withoutProgress().size(), 4);
    QCOMPARE(log.withoutProgress().last(), QStringLiteral("all:"));
    for (const QString &name : names)
        QCOMPARE(readTestFile(dest(name)), readTestFile(served(name)));
    // Nothing but the destinations is left in their folder.
    QCOMPARE(destFolder(), names);
}

void TestDownloader::brokenDownloadLeavesOldFile_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("not found") << int(LoopbackHttpServer::Fault::NotFound);
    QTest::newRow("connection reset") << int(LoopbackHttpServer::Fault::ResetConnection);
    QTest::newRow("stall inside body") << int(LoopbackHttpServer::Fault::StallMidBody);
}

void TestDownloader::brokenDownloadLeavesOldFile()
{
    QFETCH(int, fault);
    NetworkAsyncReader reader;
    reader.setStallTimeout(400);
    Downloader d(reader);
    EventLog log(d);
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);
    const QString file = dest(QStringLiteral("db.dat"));
    writeTestFile(served(QStringLiteral("db.dat")), patternBytes(200000, 'r'));
    writeTestFile(file, "the installed database");
    m_server->setFault(QStringLiteral("/db.dat"), LoopbackHttpServer::Fault(fault));

    d.BeginDownload(url(QStringLiteral("db.dat")), file);
    QVERIFY(all.wait(10000));
    QCOMPARE(log.withoutProgress(), QStringList({ev("error", file), ev("all", file)}));
    QCOMPARE(readTestFile(file), QByteArray("the installed database"));
    QCOMPARE(destFolder(), QStringList({QStringLiteral("db.dat")}));
}

void TestDownloader::slowDownloadReportsProgress()
{
    NetworkAsyncReader reader;
    Downloader d(reader);
    EventLog log(d);
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);
    const QByteArray body = patternBytes(8192, 's');
    writeTestFile(served(QStringLiteral("slow.dat")), body);
    m_server->setFault(QStringLiteral("/slow.dat"), LoopbackHttpServer::Fault::SlowBody);
    m_server->setSlowBody(1024, 30);
    d.BeginDownload(url(QStringLiteral("slow.dat")), dest(QStringLiteral("slow.dat")));
    QVERIFY(all.wait(10000));
    QVERIFY2(log.progress.size() >= 2, qPrintable(QString::number(log.progress.size())));
    qint32 last = -1;
    for (const auto &[cur, max] : std::as_const(log.progress)) {
        QCOMPARE(max, qint32(body.size()));
        QVERIFY(cur >= last);
        last = cur;
    }
    QVERIFY(log.progress.first().first < body.size());
    // Every progress event comes before the completion.
    QCOMPARE(log.events.at(log.events.size() - 2), ev("complete", dest(QStringLiteral("slow.dat"))));
    QCOMPARE(readTestFile(dest(QStringLiteral("slow.dat"))), body);
}

void TestDownloader::refusedStartsWarn()
{
    // A bad address, a full queue and a refusing service each warn and queue nothing.
    NetworkAsyncReader network;
    Downloader bad(network);
    QSignalSpy badWarning(&bad, &Downloader::warning);
    bad.BeginDownload(QStringLiteral("ftp://127.0.0.1/x.dat"), dest(QStringLiteral("x.dat")));
    bad.BeginDownload(QStringLiteral("not a url"), dest(QStringLiteral("y.dat")));
    QCOMPARE(badWarning.size(), 2);
    QVERIFY2(badWarning.first().first().toString().contains(QRegularExpression(
                 QStringLiteral("^\\d+:Error in call to BeginDownload\\(\\)\\.\r\n\r\nError Description: .+"))),
             qPrintable(badWarning.first().first().toString()));
    QVERIFY(bad.QueuedFiles().isEmpty());

    ScriptedReader reader;
    Downloader d(reader);
    QSignalSpy warning(&d, &Downloader::warning);
    for (int i = 0; i <= Downloader::MaximumQueued; ++i)
        d.BeginDownload(QStringLiteral("http://h/x"), QStringLiteral("/x%1").arg(i));
    QCOMPARE(warning.size(), 1);
    QCOMPARE(d.QueuedFiles().size(), Downloader::MaximumQueued);
    reader.refuse = true;
    QVERIFY(d.CancelAllDownload());
    d.BeginDownload(QStringLiteral("http://h/x"), QStringLiteral("/refused"));
    QCOMPARE(warning.size(), 2);
    QVERIFY(warning.last().first().toString().startsWith(QLatin1String("35:Error in call to BeginDownload().")));
    QVERIFY(d.QueuedFiles().isEmpty());
}

void TestDownloader::completionAfterCancelAllDownload()
{
    ScriptedRig rig;
    // On an empty queue it cancels nothing and raises nothing.
    QVERIFY(rig.d.CancelAllDownload());
    QVERIFY(rig.reader.cancelled.isEmpty() && rig.log.events.isEmpty());

    const QString file = rig.file("late.dat");
    rig.d.BeginDownload(QStringLiteral("http://h/late.dat"), file);
    QVERIFY(rig.d.CancelAllDownload());
    QCOMPARE(rig.reader.cancelled, QStringList({file}));
    QVERIFY(rig.d.QueuedFiles().isEmpty());
    rig.reader.complete(file, AsyncReader::StatusComplete, "late bytes");
    QCOMPARE(rig.log.events, QStringList({ev("complete", file), QStringLiteral("all:")}));
    QCOMPARE(readTestFile(file), QByteArray("late bytes"));
    rig.reader.complete(file, AsyncReader::StatusError);
    QCOMPARE(rig.log.events.mid(2), QStringList({ev("error", file), QStringLiteral("all:")}));
}

void TestDownloader::sameFileQueuedTwice()
{
    ScriptedRig rig;
    const QString file = rig.file("twice.dat");
    rig.d.BeginDownload(QStringLiteral("http://h/1"), file);
    rig.d.BeginDownload(QStringLiteral("http://h/2"), file);
    QCOMPARE(rig.reader.started.size(), 2);
    rig.reader.complete(file, AsyncReader::StatusComplete, "first");
    QCOMPARE(rig.d.QueuedStatus(), QList<quint8>({6, 255}));
    rig.reader.complete(file, AsyncReader::StatusError);
    // The second completion lands on the first entry again: the batch never ends.
    QCOMPARE(rig.d.QueuedStatus(), QList<quint8>({0, 255}));
    QVERIFY(rig.d.CancelAllDownload());
    QVERIFY(rig.d.QueuedStatus().isEmpty());
    QCOMPARE(rig.log.allComplete, 0);
}

void TestDownloader::progressWithoutTotalRaisesNothing()
{
    ScriptedRig rig;
    const QString file = QStringLiteral("/nowhere/p.dat");
    rig.d.BeginDownload(QStringLiteral("http://h/p"), file);
    rig.reader.progress(file, 100, 0);
    QVERIFY(rig.log.events.isEmpty());
    rig.reader.progress(file, 100, 400);
    QCOMPARE(rig.log.progress, (QList<QPair<qint32, qint32>>{{100, 400}}));
    QVERIFY(rig.reader.cancelled.isEmpty());
    rig.reader.progress(file, 0, 0, AsyncReader::StatusError);
    QCOMPARE(rig.reader.cancelled, QStringList({file}));
    QCOMPARE(rig.log.events.size(), 1);
}

void TestDownloader::otherStatusKeepsRequestPending()
{
    ScriptedRig rig;
    const QString a = rig.file("a.dat"), b = rig.file("b.dat");
    rig.d.BeginDownload(QStringLiteral("http://h/a"), a);
    rig.d.BeginDownload(QStringLiteral("http://h/b"), b);
    rig.reader.complete(a, 3);
    QCOMPARE(rig.d.QueuedStatus(), QList<quint8>({3, 255}));
    rig.reader.complete(b, AsyncReader::StatusComplete, "b");
    QCOMPARE(rig.log.allComplete, 0);
    rig.reader.complete(a, AsyncReader::StatusComplete, "a");
    QCOMPARE(rig.log.events, QStringList({ev("complete", b), ev("complete", a), QStringLiteral("all:")}));
}

void TestDownloader::unwritableOrRefusedContentIsNotWritten()
{
    ScriptedRig rig;
    QStringList checked;
    rig.d.setContentCheck([&](const QString &file, const QByteArray &content) {
        checked.append(file);
        return content == "good";
    });
    const QString a = rig.file("a.dat"), b = rig.file("b.dat"), c = rig.file("missing-folder/c.dat");
    writeTestFile(b, "installed");
    rig.d.BeginDownload(QStringLiteral("http://h/a"), a);
    rig.d.BeginDownload(QStringLiteral("http://h/b"), b);
    rig.d.BeginDownload(QStringLiteral("http://h/c"), c);
    rig.reader.complete(a, AsyncReader::StatusComplete, "good");
    rig.reader.complete(b, AsyncReader::StatusComplete, "bad");
    rig.reader.complete(c, AsyncReader::StatusComplete, "good");
    QCOMPARE(checked, QStringList({a, b, c}));
    QCOMPARE(rig.log.events, QStringList({ev("complete", a), ev("error", b), ev("error", c),
                                          ev("all", b + QLatin1Char('|') + c)}));
    QCOMPARE(readTestFile(a), QByteArray("good"));
    QCOMPARE(readTestFile(b), QByteArray("installed"));
    QVERIFY(!QFile::exists(c));
}

QTEST_GUILESS_MAIN(TestDownloader)
#include "tst_downloader.moc"
