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
        connect(&d, &Downloader::DownloadComplete, this, [this](qint32 max, const QString &f) {
            events.append(QStringLiteral("complete:") + f);
            completedSizes.append(max);
        });
        connect(&d, &Downloader::DownloadAllComplete, this, [this](const QStringList &failed) {
            events.append(QStringLiteral("all:") + failed.join(QLatin1Char('|')));
            ++allComplete;
        });
    }
    QStringList withoutProgress() const
    {
        QStringList out;
        for (const QString &e : events)
            if (!e.startsWith(QLatin1String("progress:")))
                out.append(e);
        return out;
    }
    QStringList events;
    QList<QPair<qint32, qint32>> progress;
    QList<qint32> completedSizes;
    int allComplete = 0;
};

QByteArray patternBytes(int size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 7 % 251);
    return b;
}
} // namespace

class TestDownloader : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // Against the loopback server.
    void twoRequestsOneFails();
    void allRequestsFinish();
    void longerExistingFileIsReplacedExactly();
    void brokenDownloadLeavesOldFile_data();
    void brokenDownloadLeavesOldFile();
    void oversizeDownloadFails();
    void slowDownloadReportsProgress();
    void refusedStartShowsWarning();

    // Against the scripted read service.
    void completionAfterCancelAllDownload();
    void sameFileQueuedTwice();
    void progressWithoutTotalRaisesNothing();
    void cancelOnEmptyQueue();
    void otherStatusKeepsRequestPending();
    void unwritableDestinationIsAnError();
    void refusedContentIsNotWritten();
    void queueLimit();

private:
    QString served(const QString &name) const { return m_repo->path() + QLatin1Char('/') + name; }
    QString dest(const QString &name) const { return m_dest->path() + QLatin1Char('/') + name; }
    QString url(const QString &name) const { return m_server->baseUrl() + QLatin1Char('/') + name; }

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

void TestDownloader::twoRequestsOneFails()
{
    NetworkAsyncReader reader;
    Downloader d(reader);
    EventLog log(d);
    const QByteArray body = patternBytes(3000, 'a');
    writeTestFile(served(QStringLiteral("one.dat")), body);
    writeTestFile(dest(QStringLiteral("two.dat")), "old content");
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);

    d.BeginDownload(url(QStringLiteral("one.dat")), dest(QStringLiteral("one.dat")));
    d.BeginDownload(url(QStringLiteral("two.dat")), dest(QStringLiteral("two.dat")));
    QCOMPARE(d.QueuedFiles(), QStringList({dest(QStringLiteral("one.dat")), dest(QStringLiteral("two.dat"))}));
    QCOMPARE(d.QueuedStatus(), QList<quint8>({255, 255}));

    QVERIFY(all.wait(10000));
    const QStringList events = log.withoutProgress();
    QCOMPARE(events.size(), 3);
    QVERIFY(events.contains(QStringLiteral("complete:") + dest(QStringLiteral("one.dat"))));
    QVERIFY(events.contains(QStringLiteral("error:") + dest(QStringLiteral("two.dat"))));
    QCOMPARE(events.last(), QStringLiteral("all:") + dest(QStringLiteral("two.dat")));
    QVERIFY(d.QueuedFiles().isEmpty());
    QVERIFY(d.QueuedStatus().isEmpty());
    QCOMPARE(readTestFile(dest(QStringLiteral("one.dat"))), body);
    QCOMPARE(log.completedSizes, QList<qint32>({qint32(body.size())}));
    // The server's error page never becomes the file.
    QCOMPARE(readTestFile(dest(QStringLiteral("two.dat"))), QByteArray("old content"));
}

void TestDownloader::allRequestsFinish()
{
    NetworkAsyncReader reader;
    Downloader d(reader);
    EventLog log(d);
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("f%1.dat").arg(i);
        writeTestFile(served(name), patternBytes(100 + i * 500, char('k' + i)));
        d.BeginDownload(url(name), dest(name));
    }
    QVERIFY(all.wait(10000));
    QCOMPARE(all.size(), 1);
    QCOMPARE(all.first().first().toStringList(), QStringList());
    QCOMPARE(log.withoutProgress().size(), 4);
    QCOMPARE(log.withoutProgress().last(), QStringLiteral("all:"));
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("f%1.dat").arg(i);
        QCOMPARE(readTestFile(dest(name)), readTestFile(served(name)));
    }
}

void TestDownloader::longerExistingFileIsReplacedExactly()
{
    NetworkAsyncReader reader;
    Downloader d(reader);
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);
    const QByteArray body = patternBytes(120, 'q');
    writeTestFile(served(QStringLiteral("db.dat")), body);
    writeTestFile(dest(QStringLiteral("db.dat")), patternBytes(20000, 'z'));
    d.BeginDownload(url(QStringLiteral("db.dat")), dest(QStringLiteral("db.dat")));
    QVERIFY(all.wait(10000));
    QCOMPARE(readTestFile(dest(QStringLiteral("db.dat"))), body);
    // Nothing but the destination is left in its folder.
    QCOMPARE(QDir(m_dest->path()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("db.dat")}));
}

void TestDownloader::brokenDownloadLeavesOldFile_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("not found") << int(LoopbackHttpServer::Fault::NotFound);
    QTest::newRow("server error") << int(LoopbackHttpServer::Fault::ServerError);
    QTest::newRow("connection reset") << int(LoopbackHttpServer::Fault::ResetConnection);
    QTest::newRow("stall before answer") << int(LoopbackHttpServer::Fault::Stall);
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
    writeTestFile(served(QStringLiteral("db.dat")), patternBytes(200000, 'r'));
    writeTestFile(dest(QStringLiteral("db.dat")), "the installed database");
    m_server->setFault(QStringLiteral("/db.dat"), LoopbackHttpServer::Fault(fault));

    d.BeginDownload(url(QStringLiteral("db.dat")), dest(QStringLiteral("db.dat")));
    QVERIFY(all.wait(10000));
    QCOMPARE(log.withoutProgress(), QStringList({QStringLiteral("error:") + dest(QStringLiteral("db.dat")),
                                                 QStringLiteral("all:") + dest(QStringLiteral("db.dat"))}));
    QCOMPARE(readTestFile(dest(QStringLiteral("db.dat"))), QByteArray("the installed database"));
    QCOMPARE(QDir(m_dest->path()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("db.dat")}));
}

void TestDownloader::oversizeDownloadFails()
{
    NetworkAsyncReader reader;
    reader.setMaximumSize(10000);
    Downloader d(reader);
    EventLog log(d);
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);
    writeTestFile(served(QStringLiteral("big.dat")), patternBytes(10001, 'b'));
    writeTestFile(served(QStringLiteral("fits.dat")), patternBytes(10000, 'f'));
    d.BeginDownload(url(QStringLiteral("big.dat")), dest(QStringLiteral("big.dat")));
    d.BeginDownload(url(QStringLiteral("fits.dat")), dest(QStringLiteral("fits.dat")));
    QVERIFY(all.wait(10000));
    QCOMPARE(all.first().first().toStringList(), QStringList({dest(QStringLiteral("big.dat"))}));
    QVERIFY(!QFile::exists(dest(QStringLiteral("big.dat"))));
    QCOMPARE(readTestFile(dest(QStringLiteral("fits.dat"))), patternBytes(10000, 'f'));
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
    QCOMPARE(log.events.at(log.events.size() - 2), QStringLiteral("complete:") + dest(QStringLiteral("slow.dat")));
    QCOMPARE(readTestFile(dest(QStringLiteral("slow.dat"))), body);
}

void TestDownloader::refusedStartShowsWarning()
{
    NetworkAsyncReader reader;
    Downloader d(reader);
    EventLog log(d);
    QSignalSpy warning(&d, &Downloader::warning);
    d.BeginDownload(QStringLiteral("ftp://127.0.0.1/x.dat"), dest(QStringLiteral("x.dat")));
    d.BeginDownload(QStringLiteral("not a url"), dest(QStringLiteral("y.dat")));
    QCOMPARE(warning.size(), 2);
    const QString text = warning.first().first().toString();
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral(
                 "^\\d+:Error in call to BeginDownload\\(\\)\\.\r\n\r\nError Description: .+"))),
             qPrintable(text));
    QVERIFY(d.QueuedFiles().isEmpty());
    QTest::qWait(100);
    QVERIFY(log.events.isEmpty());
}

void TestDownloader::completionAfterCancelAllDownload()
{
    TestAppFolder app;
    ScriptedReader reader;
    Downloader d(reader);
    EventLog log(d);
    const QString file = app.filePath(QStringLiteral("late.dat"));
    d.BeginDownload(QStringLiteral("http://h/late.dat"), file);
    QVERIFY(d.CancelAllDownload());
    QCOMPARE(reader.cancelled, QStringList({file}));
    QVERIFY(d.QueuedFiles().isEmpty());

    reader.complete(file, AsyncReader::StatusComplete, "late bytes");
    QCOMPARE(log.events, QStringList({QStringLiteral("complete:") + file, QStringLiteral("all:")}));
    QCOMPARE(readTestFile(file), QByteArray("late bytes"));

    reader.complete(file, AsyncReader::StatusError);
    QCOMPARE(log.events.mid(2), QStringList({QStringLiteral("error:") + file, QStringLiteral("all:")}));
}

void TestDownloader::sameFileQueuedTwice()
{
    TestAppFolder app;
    ScriptedReader reader;
    Downloader d(reader);
    EventLog log(d);
    const QString file = app.filePath(QStringLiteral("twice.dat"));
    d.BeginDownload(QStringLiteral("http://h/1"), file);
    d.BeginDownload(QStringLiteral("http://h/2"), file);
    QCOMPARE(reader.started.size(), 2);
    reader.complete(file, AsyncReader::StatusComplete, "first");
    QCOMPARE(d.QueuedStatus(), QList<quint8>({6, 255}));
    reader.complete(file, AsyncReader::StatusError);
    // The second completion lands on the first entry again: the batch never ends.
    QCOMPARE(d.QueuedStatus(), QList<quint8>({0, 255}));
    QCOMPARE(log.allComplete, 0);
    QVERIFY(d.CancelAllDownload());
    QVERIFY(d.QueuedStatus().isEmpty());
    QCOMPARE(log.allComplete, 0);
}

void TestDownloader::progressWithoutTotalRaisesNothing()
{
    ScriptedReader reader;
    Downloader d(reader);
    EventLog log(d);
    d.BeginDownload(QStringLiteral("http://h/p"), QStringLiteral("/nowhere/p.dat"));
    reader.progress(QStringLiteral("/nowhere/p.dat"), 100, 0);
    QVERIFY(log.events.isEmpty());
    reader.progress(QStringLiteral("/nowhere/p.dat"), 100, 400);
    QCOMPARE(log.progress, (QList<QPair<qint32, qint32>>{{100, 400}}));
    QVERIFY(reader.cancelled.isEmpty());
    reader.progress(QStringLiteral("/nowhere/p.dat"), 0, 0, AsyncReader::StatusError);
    QCOMPARE(reader.cancelled, QStringList({QStringLiteral("/nowhere/p.dat")}));
    QCOMPARE(log.events.size(), 1);
}

void TestDownloader::cancelOnEmptyQueue()
{
    ScriptedReader reader;
    Downloader d(reader);
    EventLog log(d);
    QVERIFY(d.CancelAllDownload());
    QVERIFY(reader.cancelled.isEmpty());
    QVERIFY(log.events.isEmpty());
}

void TestDownloader::otherStatusKeepsRequestPending()
{
    TestAppFolder app;
    ScriptedReader reader;
    Downloader d(reader);
    EventLog log(d);
    const QString a = app.filePath(QStringLiteral("a.dat"));
    const QString b = app.filePath(QStringLiteral("b.dat"));
    d.BeginDownload(QStringLiteral("http://h/a"), a);
    d.BeginDownload(QStringLiteral("http://h/b"), b);
    reader.complete(a, 3);
    QCOMPARE(d.QueuedStatus(), QList<quint8>({3, 255}));
    reader.complete(b, AsyncReader::StatusComplete, "b");
    QCOMPARE(log.allComplete, 0);
    reader.complete(a, AsyncReader::StatusComplete, "a");
    QCOMPARE(log.events, QStringList({QStringLiteral("complete:") + b, QStringLiteral("complete:") + a,
                                      QStringLiteral("all:")}));
}

void TestDownloader::unwritableDestinationIsAnError()
{
    TestAppFolder app;
    ScriptedReader reader;
    Downloader d(reader);
    EventLog log(d);
    const QString file = app.filePath(QStringLiteral("missing-folder/db.dat"));
    d.BeginDownload(QStringLiteral("http://h/db"), file);
    reader.complete(file, AsyncReader::StatusComplete, "content");
    QCOMPARE(log.events, QStringList({QStringLiteral("error:") + file, QStringLiteral("all:") + file}));
    QVERIFY(!QFile::exists(file));
}

void TestDownloader::refusedContentIsNotWritten()
{
    TestAppFolder app;
    ScriptedReader reader;
    Downloader d(reader);
    EventLog log(d);
    QStringList checked;
    d.setContentCheck([&](const QString &file, const QByteArray &content) {
        checked.append(file);
        return content == "good";
    });
    const QString a = app.filePath(QStringLiteral("a.dat"));
    const QString b = app.filePath(QStringLiteral("b.dat"));
    writeTestFile(b, "installed");
    d.BeginDownload(QStringLiteral("http://h/a"), a);
    d.BeginDownload(QStringLiteral("http://h/b"), b);
    reader.complete(a, AsyncReader::StatusComplete, "good");
    reader.complete(b, AsyncReader::StatusComplete, "bad");
    QCOMPARE(checked, QStringList({a, b}));
    QCOMPARE(log.events, QStringList({QStringLiteral("complete:") + a, QStringLiteral("error:") + b,
                                      QStringLiteral("all:") + b}));
    QCOMPARE(readTestFile(a), QByteArray("good"));
    QCOMPARE(readTestFile(b), QByteArray("installed"));
}

void TestDownloader::queueLimit()
{
    ScriptedReader reader;
    Downloader d(reader);
    QSignalSpy warning(&d, &Downloader::warning);
    for (int i = 0; i < Downloader::MaximumQueued; ++i)
        d.BeginDownload(QStringLiteral("http://h/x"), QStringLiteral("/x%1").arg(i));
    QCOMPARE(warning.size(), 0);
    d.BeginDownload(QStringLiteral("http://h/x"), QStringLiteral("/one-too-many"));
    QCOMPARE(warning.size(), 1);
    QCOMPARE(d.QueuedFiles().size(), Downloader::MaximumQueued);
    reader.refuse = true;
    QVERIFY(d.CancelAllDownload());
    d.BeginDownload(QStringLiteral("http://h/x"), QStringLiteral("/refused"));
    QCOMPARE(warning.size(), 2);
    QVERIFY(warning.last().first().toString().startsWith(QLatin1String("35:Error in call to BeginDownload().")));
    QVERIFY(d.QueuedFiles().isEmpty());
}

QTEST_GUILESS_MAIN(TestDownloader)
#include "tst_downloader.moc"
