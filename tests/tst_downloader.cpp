// The download queue control against the loopback HTTP server: its events,
// its queue and the files it writes.
#include "platform/NetworkAsyncReader.h"
#include "tests/support/FailingFileWriter.h"
#include "tests/support/TestAppFolder.h"
#include "tools/dbtool/LoopbackHttpServer.h"
#include "update/Downloader.h"

#include <QtTest>

namespace {
// A read service whose notifications the test sends by hand.
class ScriptedReader : public AsyncReader
{
public:
    bool asyncRead(const QString &, const QString &, const QVariant &, int *errorNumber,
                   QString *errorText) override
    {
        *errorNumber = 35;
        *errorText = QStringLiteral("refused");
        return !refuse;
    }
    void cancelAsyncRead(const QString &key) override { cancelled.append(key); }
    bool refuse = false;
    QStringList cancelled;
};
} // namespace

class TestDownloader : public QObject
{
    Q_OBJECT
private slots:
    void oneBatchOfMixedOutcomes();
    void deadlineEndsADrip();
    void queueLimitsAndLateEvents();
};

void TestDownloader::oneBatchOfMixedOutcomes()
{
    QTemporaryDir repo, destDir;
    LoopbackHttpServer server(repo.path());
    QVERIFY(server.listen());
    server.setSlowBody(1024, 30);
    NetworkAsyncReader reader;
    reader.setStallTimeout(400);
    // A disk that takes no more when nospace.dat is written.
    FailingFileWriter files;
    files.failWritesTo("nospace.dat");
    Downloader d(reader, files);
    QSignalSpy all(&d, &Downloader::DownloadAllComplete);
    QStringList errors, completed;
    QList<QPair<qint32, qint32>> slowProgress;
    connect(&d, &Downloader::DownloadProgress, this, [&](qint32 cur, qint32 max, const QString &f) {
        if (f.endsWith("slow.dat"))
            slowProgress.append({cur, max});
    });
    connect(&d, &Downloader::DownloadError, this, [&](const QString &f) { errors.append(f); });
    // With the slow download, how much progress came before its completion.
    connect(&d, &Downloader::DownloadComplete, this, [&](qint32, const QString &f) {
        completed.append(f + (f.endsWith("slow.dat") ? QString::number(slowProgress.size()) : ""));
    });
    d.setContentCheck([](const QString &, const QByteArray &b) { return b != "refused"; });
    // Serves bytes as name, misbehaving as fault, into a file of that name that holds old content.
    const auto queue = [&](const QString &name, const QByteArray &bytes,
                           LoopbackHttpServer::Fault fault = {}) {
        writeTestFile(repo.filePath(name), bytes);
        server.setFault('/' + name, fault);
        const QString file = destDir.filePath(name);
        if (!name.startsWith("gone"))
            writeTestFile(file, QByteArray(20000, 'o'));
        // No download may be longer than 10000 bytes.
        d.BeginDownload(server.baseUrl() + '/' + name, file, qlonglong(10000));
        return file;
    };
    const QString fits = queue("fits.dat", QByteArray(10000, 'f'));
    const QString slow =
        queue("slow.dat", QByteArray(8192, 's'), LoopbackHttpServer::Fault::SlowBody);
    const QStringList failed = {
        queue("big.dat", QByteArray(10001, 'b')),
        queue("stall.dat", QByteArray(9000, 't'), LoopbackHttpServer::Fault::StallMidBody),
        queue("refused.dat", "refused"), queue("gone/lost.dat", "fine"),
        queue("nospace.dat", QByteArray(100, 'n'))};
    QCOMPARE(d.QueuedFiles(), QStringList({fits, slow}) + failed);

    QVERIFY(all.wait(10000));
    QTest::qWait(50);
    // The batch ends once, naming the failures in queue order; each failure is reported once.
    QCOMPARE(all.size(), 1);
    QCOMPARE(all.first().first().toStringList(), failed);
    QVERIFY(d.QueuedFiles().isEmpty() && d.QueuedStatus().isEmpty());
    errors.sort();
    QCOMPARE(errors, QStringList({failed[0], failed[3], failed[4], failed[2], failed[1]}));
    completed.sort();
    QCOMPARE(completed, QStringList({fits, slow + QString::number(slowProgress.size())}));
    // Progress of the slow download rises towards its full size.
    QVERIFY2(slowProgress.size() >= 2 && slowProgress.first().first < 8192,
             qPrintable(QString::number(slowProgress.size())));
    for (qsizetype i = 0; i < slowProgress.size(); ++i)
        QVERIFY(slowProgress[i].second == 8192 &&
                (i == 0 || slowProgress[i].first >= slowProgress[i - 1].first));
    // Longer old files are replaced exactly; a failure leaves the old file and nothing else.
    QCOMPARE(readTestFile(fits), QByteArray(10000, 'f'));
    QCOMPARE(readTestFile(slow), QByteArray(8192, 's'));
    for (const QString &file : failed.mid(0, 3) + failed.mid(4))
        QCOMPARE(readTestFile(file), QByteArray(20000, 'o'));
    QVERIFY(!QFile::exists(failed[3]));
    QCOMPARE(files.failed(), QStringList{"nospace.dat"});
    QCOMPARE(QDir(destDir.path()).entryList(QDir::Files | QDir::Hidden).size(), 6);
}

void TestDownloader::deadlineEndsADrip()
{
    // One byte every 50 ms never trips the stall time-out (a minute here);
    // the deadline (300 ms, then 16 KiB/s on average) ends the read long
    // before the 5000 bytes could arrive, and the old file stays.
    QTemporaryDir repo, destDir;
    LoopbackHttpServer server(repo.path());
    QVERIFY(server.listen());
    server.setSlowBody(1, 50);
    writeTestFile(repo.filePath("drip.dat"), QByteArray(5000, 'd'));
    server.setFault("/drip.dat", LoopbackHttpServer::Fault::SlowBody);
    NetworkAsyncReader reader;
    reader.setStallTimeout(60000);
    TransferDeadline deadline;
    deadline.graceMs = 300;
    reader.setDeadline(deadline);
    DiskFileWriter files;
    Downloader d(reader, files);
    QSignalSpy error(&d, &Downloader::DownloadError), progress(&d, &Downloader::DownloadProgress);
    const QString file = destDir.filePath("drip.dat");
    writeTestFile(file, "old");
    d.BeginDownload(server.baseUrl() + "/drip.dat", file);
    QVERIFY(error.wait(30000));
    QCOMPARE(error.first().first().toString(), file);
    // Some bytes came, and were reported, before the deadline struck.
    QVERIFY(!progress.isEmpty() && progress.last().at(0).toInt() < 5000);
    QCOMPARE(readTestFile(file), "old");
}

void TestDownloader::queueLimitsAndLateEvents()
{
    QTemporaryDir destDir;
    ScriptedReader reader;
    DiskFileWriter files;
    Downloader d(reader, files);
    QSignalSpy warning(&d, &Downloader::warning), all(&d, &Downloader::DownloadAllComplete),
        progress(&d, &Downloader::DownloadProgress);
    // The queue is bounded: one more warns and is not queued.
    for (int i = 0; i <= Downloader::MaximumQueued; ++i)
        d.BeginDownload("http://h/x", destDir.filePath(QString::number(i)));
    QCOMPARE(warning.size(), 1);
    QCOMPARE(d.QueuedFiles().size(), Downloader::MaximumQueued);
    QVERIFY(d.CancelAllDownload());
    QCOMPARE(reader.cancelled.size(), Downloader::MaximumQueued);
    // A service that refuses warns with its error number and text and queues nothing.
    reader.refuse = true;
    d.BeginDownload("http://h/x", destDir.filePath("refused"));
    QCOMPARE(warning.last().first().toString(),
             "35:Error in call to BeginDownload().\r\n\r\nError Description: refused");
    QVERIFY(d.QueuedFiles().isEmpty());

    // Progress without a total raises nothing.
    reader.refuse = false;
    reader.cancelled.clear();
    const QString file = destDir.filePath("late.dat");
    d.BeginDownload("http://h/late.dat", file);
    emit reader.AsyncReadProgress({100, 0, file, 1, {}});
    emit reader.AsyncReadProgress({100, 400, file, 1, {}});
    QCOMPARE(progress.size(), 1);
    // A completion after everything was cancelled still ends the batch once.
    QVERIFY(d.CancelAllDownload());
    QCOMPARE(reader.cancelled, QStringList({file}));
    emit reader.AsyncReadComplete({10, 10, file, AsyncReader::StatusComplete, "late bytes"});
    QCOMPARE(all.size(), 1);
}

QTEST_GUILESS_MAIN(TestDownloader)
#include "tst_downloader.moc"
