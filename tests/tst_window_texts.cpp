// The window's texts fit their controls in all six languages.  CTest runs
// this test at 100% and, with QT_SCALE_FACTOR=2, at 200%.
#include "app/Form1.h"
#include "language/LanguageSwitch.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanState.h"
#include "tests/support/TestAppFolder.h"

#include <QTest>
#include <QtWidgets>

class TestWindowTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void textsFit_data();
    void textsFit();
    void driveEntriesElided();
};

namespace {

// The width a one-line text needs in w, with the room its style takes.
bool fitsOneLine(const QWidget *w, const QString &text, int room = 0)
{
    return w->fontMetrics().horizontalAdvance(text) + room <= w->width();
}

} // namespace

void TestWindowTexts::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    QApplication::setStyle(QStyleFactory::create("Fusion"));
}

void TestWindowTexts::textsFit_data()
{
    QTest::addColumn<int>("language");
    for (int i = 0; i < 6; ++i)
        QTest::newRow(qPrintable(languageFileName(i))) << i;
}

void TestWindowTexts::textsFit()
{
    QFETCH(int, language);
    TestAppFolder app;
    for (int i = 0; i < 6; ++i)
        app.writeFile("Language/" + languageFileName(i),
                      readTestFile(TORVAKINE_LANGUAGE_SOURCE_DIR "/" + languageFileName(i)));
    app.writeFile("lang.dat", app.readFile("Language/english"));
    app.writeFile("upd.dat", "31/12/2026 23:59:59\r\n");
    Form1 w(app.paths(), app.loadTables());
    w.Form_Load();
    w.Command8_Click(language);
    const LanguageTexts t = app.texts();
    QCOMPARE(w.Check1->text(), t.Lingua(4));

    // Captions and labels show whole on one line.
    QVERIFY2(w.Check1->sizeHint().width() <= w.Check1->width(), qPrintable(w.Check1->text()));
    QVERIFY2(w.Label3->sizeHint().width() <= w.Label3->width(), qPrintable(w.Label3->text()));
    QVERIFY2(w.lblMessages->sizeHint().width() <= w.lblMessages->width(),
             qPrintable(w.lblMessages->text()));
    QVERIFY2(w.OpenReport->sizeHint().width() <= w.OpenReport->width(),
             qPrintable(w.OpenReport->text()));
    // "Connecting...." in its status field, which has no frame.
    QVERIFY(fitsOneLine(w.Text1, w.Text1->text(), 4));
    for (QLabel *l : {w.Label1, w.Label2, w.Label4, w.Label5, w.Label6, w.Label7, w.Label8,
                      w.Label9, w.Label10})
        QVERIFY2(l->sizeHint().width() <= l->width(), qPrintable(l->text()));

    // The longest summary: five-digit counts, a long duration, objects that
    // could not be read, missing databases and a stop, in the locale's
    // number format; it wraps onto at most the lines the summary has room for.
    ScanState ended;
    ended.MissingDatabases = {QStringLiteral("trojsig.dat")};
    ended.StoppedByUser = true;
    const QString summary = scanSummary(t, 88888, 88888, 59.99, QLocale()) +
                            unreadableSuffix(t, 88888, QLocale()) + endingSuffix(t, ended);
    w.Text6->setText(summary);
    const int room = w.Text6->contentsRect().height();
    const int needed = w.Text6->heightForWidth(w.Text6->width()) -
                       (w.Text6->height() - w.Text6->contentsRect().height());
    QVERIFY2(needed <= room,
             qPrintable(QString("%1 needs %2 of %3").arg(summary).arg(needed).arg(room)));
    // The line wraps only between words: no word, a count above all, is
    // wider than the line and so cut in two.
    for (const QString &word : summary.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        QVERIFY2(w.Text6->fontMetrics().horizontalAdvance(word) <= w.Text6->contentsRect().width(),
                 qPrintable(word));
}

void TestWindowTexts::driveEntriesElided()
{
    // A long mount path keeps its start and its label, loses its middle, and
    // shows whole in its tooltip; the scan takes the whole path.
    TestAppFolder app;
    Form1 w(app.paths(), app.loadTables());
    w.Form_Load();
    const QString entry =
        "/media/someone/" + QString(60, 'x') + "/very/long/mount/point/of/a/disk [USB-DISK]";
    w.addDriveEntry(entry);
    w.Drive1->setCurrentIndex(w.Drive1->count() - 1);
    const QString shown = w.Drive1->currentText();
    QVERIFY(shown.startsWith("/media/") && shown.endsWith("[USB-DISK]"));
    QVERIFY(shown.contains(QChar(0x2026)));
    QVERIFY(w.Drive1->fontMetrics().horizontalAdvance(shown) < w.Drive1->width());
    QCOMPARE(w.Drive1->toolTip(), entry);
    QCOMPARE(w.Drive1->itemData(w.Drive1->currentIndex(), Qt::ToolTipRole).toString(), entry);
    QCOMPARE(w.currentDriveEntry(), entry);
    QCOMPARE(DriveRootPath(w.currentDriveEntry()),
             "/media/someone/" + QString(60, 'x') + "/very/long/mount/point/of/a/disk/");
    // A short entry stays as it is.
    w.addDriveEntry("/ [sda1]");
    QCOMPARE(w.Drive1->itemText(w.Drive1->count() - 1), QStringLiteral("/ [sda1]"));
}

QTEST_MAIN(TestWindowTexts)
#include "tst_window_texts.moc"
