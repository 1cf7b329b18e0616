// The Quarantine panel and the result list's "Always allow", driven through
// the main window as a user would: panels, removal into the quarantine,
// restore, refusal, deletion for good, and a quarantine that cannot be used.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "scanner/AllowListFile.h"
#include "scanner/ScanSession.h"
#include "tests/support/BoxAnswerer.h"
#include "tests/support/TestAppFolder.h"

#include <QTest>
#include <QtWidgets>

namespace {

const QByteArray kEicar = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

// A loaded window in the English of the repository, whose drive list points
// at a folder with a name match, a content match and a tracking cookie.
struct Fixture {
    // The confirmation before a removal and the message after it are
    // answered with their first button: Remove, then OK.
    BoxAnswerer boxes;
    TestAppFolder app;
    QString root = app.filePath("drive");
    std::unique_ptr<Form1> window;

    Fixture()
    {
        app.writeFile("lang.dat",
                      readTestFile(QStringLiteral(TORVAKINE_LANGUAGE_SOURCE_DIR) + "/english"));
        app.writeDatabase("cookdb.dat", "***Adware.Sample\n\\toolbar\\bar.exe\n***Tracking Cookie\n"
                                        "TRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n");
        app.writeDatabase("trojsig.dat", "44d88612fea8a8f36de82e1278abb02f:"
                                         "3395856ce81f2b7382dee72602f798b642f14140 EICAR-Test\n");
        writeTestFile(root + "/a/toolbar/bar.exe", "bar");
        writeTestFile(root + "/b/eicar.com", kEicar);
        writeTestFile(root + "/c/mozilla/cookies.txt",
                      "# comment\nwww.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\n");
        window = std::make_unique<Form1>(app.paths(), app.loadTables());
        Form1 &w = *window;
        w.Form_Load();
        w.Drive1->addItem(root + " [test]");
        w.Drive1->setCurrentIndex(w.Drive1->count() - 1);
        w.Check1->setChecked(false);
    }

    QStringList rows() const
    {
        QStringList names;
        const ResultListModel &list = window->scanSession().results();
        for (qsizetype i = 1; i <= list.count(); ++i)
            names << list.row(i).name;
        names.sort();
        return names;
    }

    // The objects the Quarantine panel lists, in its order.
    QStringList listed() const
    {
        QStringList objects;
        const QAbstractItemModel *model = window->ListView2->model();
        for (int i = 0; i < model->rowCount(); ++i)
            objects << model->index(i, 2).data().toString();
        return objects;
    }

    void select(const QString &object) const
    {
        const QAbstractItemModel *model = window->ListView2->model();
        window->ListView2->clearSelection();
        for (int i = 0; i < model->rowCount(); ++i) {
            if (model->index(i, 2).data().toString() == object)
                window->ListView2->selectionModel()->select(
                    model->index(i, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
};

} // namespace

class TestQuarantineWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void panelsSwitch();
    void removeRestoreAndDelete();
    void unusableQuarantineRemovesNothing();
};

void TestQuarantineWindow::panelsSwitch()
{
    Fixture f;
    Form1 &w = *f.window;
    const auto picture = [](const ImageControl *i) { return i->pixmap().toImage(); };
    const QImage quarantine = picture(w.Image11);
    QCOMPARE(w.Image11->toolTip(), w.Lingua(QuarantinePanelText));
    QVERIFY(!w.Image11->toolTip().isEmpty());
    QCOMPARE(w.Command9->toolTip(), QString("Restore the selected items"));
    // Q for the quarantine, S for scan, U for updates; the panel open after.
    const QList<QPair<char, int>> clicks = {{'Q', 3}, {'Q', 0}, {'Q', 3}, {'S', 1}, {'Q', 3},
                                            {'U', 2}, {'Q', 3}, {'U', 2}, {'S', 1}, {'S', 0}};
    for (const auto &[click, panel] : clicks) {
        click == 'Q' ? w.Image11_Click() : click == 'S' ? w.Image1_Click() : w.Image4_Click();
        QCOMPARE(w.ActivePanel, quint8(panel));
        QVERIFY(w.Frame1->isHidden() == (panel != 1) && w.Frame2->isHidden() == (panel != 2) &&
                w.Frame4->isHidden() == (panel != 3));
        QCOMPARE(picture(w.Image11), panel == 3 ? picture(w.Image12) : quarantine);
    }
}

void TestQuarantineWindow::removeRestoreAndDelete()
{
    Fixture f;
    Form1 &w = *f.window;
    w.Command1_Click();
    QCOMPARE(f.rows(), QStringList({"Adware.Sample", "EICAR-Test", "Tracking Cookie"}));

    // Always allow on the EICAR row: a rule for its object, the row gone.
    const ResultListModel &list = w.scanSession().results();
    int eicarRow = -1;
    for (qsizetype i = 1; i <= list.count(); ++i) {
        if (list.row(i).name == "EICAR-Test")
            eicarRow = int(i - 1);
    }
    w.alwaysAllowRow(eicarRow);
    QCOMPARE(f.rows(), QStringList({"Adware.Sample", "Tracking Cookie"}));
    AllowListFile allow;
    QVERIFY(allow.read(w.paths().writeFile("allow.dat")));
    QCOMPARE(allow.rules().size(), 1);
    QCOMPARE(allow.rules()[0].text(), "object " + f.root + "/b/eicar.com");

    // The removal puts what is listed into the quarantine; the allowed file
    // stays.
    w.Command6_Click();
    QVERIFY(!QFile::exists(f.root + "/a/toolbar/bar.exe"));
    QCOMPARE(readTestFile(f.root + "/b/eicar.com"), kEicar);
    w.Image11_Click();
    QStringList listed = f.listed();
    listed.sort();
    const QString cookie = "mozilla:" + f.root +
                           "/c/mozilla/cookies.txt+www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\n";
    QStringList expected = {cookie, f.root + "/a/toolbar/bar.exe"};
    expected.sort();
    QCOMPARE(listed, expected);
    QVERIFY2(w.Label11->text().startsWith("Space used: ") && w.Label11->text().contains("bytes"),
             qPrintable(w.Label11->text()));

    // Restore the file: back as it was, and off the list.
    f.select(f.root + "/a/toolbar/bar.exe");
    w.Command9_Click();
    QCOMPARE(readTestFile(f.root + "/a/toolbar/bar.exe"), QByteArray("bar"));
    QCOMPARE(f.listed(), QStringList{cookie});
    QVERIFY(w.Text7->text().isEmpty());

    // The next scan does not list the allowed file, and says so.
    w.Image1_Click();
    w.Command1_Click();
    QCOMPARE(f.rows(), QStringList{"Adware.Sample"});
    QVERIFY2(w.Text6->text().endsWith(", allowed: 1"), qPrintable(w.Text6->text()));

    // Removed again, the file is not restored over what took its place.
    w.Command6_Click();
    writeTestFile(f.root + "/a/toolbar/bar.exe", "new");
    w.Image11_Click();
    f.select(f.root + "/a/toolbar/bar.exe");
    w.Command9_Click();
    QCOMPARE(w.Text7->text(),
             "Not restored, something is already there: " + f.root + "/a/toolbar/bar.exe");
    QCOMPARE(readTestFile(f.root + "/a/toolbar/bar.exe"), QByteArray("new"));
    QCOMPARE(f.listed().size(), 2);

    // Delete for good: the list and the quarantine's item files are empty.
    w.ListView2->selectAll();
    w.Command10_Click();
    QVERIFY(f.listed().isEmpty());
    QCOMPARE(QDir(f.app.filePath("Quarantine")).entryList(QDir::Files),
             QStringList{"manifest.dat"});
    QVERIFY(w.Label11->text().startsWith("Space used: "));
}

void TestQuarantineWindow::unusableQuarantineRemovesNothing()
{
    Fixture f;
    Form1 &w = *f.window;
    // A file where the quarantine's folder should be.
    writeTestFile(f.app.filePath("Quarantine"), "not a folder");
    const QString message = "The quarantine cannot be used: " + w.paths().DataFolder + "Quarantine";
    w.Image11_Click();
    QCOMPARE(w.Text7->text(), message);
    QVERIFY(f.listed().isEmpty());
    w.Image1_Click();
    w.Command1_Click();
    QCOMPARE(f.rows().size(), 3);
    w.Command6_Click();
    QCOMPARE(w.Text6->text(), message);
    QVERIFY(QFile::exists(f.root + "/a/toolbar/bar.exe"));
    QCOMPARE(f.rows().size(), 3);
}

QTEST_MAIN(TestQuarantineWindow)
#include "tst_quarantine_window.moc"
