// The main window as every user meets it: the warning before a scan without
// its databases, the removal of chosen rows and what it says after, the last
// report, the keyboard and assistive technology, light and dark palettes,
// the place of the windows on the screen, and panels that stay reachable.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/RemovalMessage.h"
#include "app/WindowPlacement.h"
#include "app/frmSplash.h"
#include "language/LanguageSwitch.h"
#include "scanner/ScanSession.h"
#include "tests/support/BoxAnswerer.h"
#include "tests/support/FakeShellOpen.h"
#include "tests/support/TestAppFolder.h"

#include <QAccessible>
#include <QTest>
#include <QtWidgets>

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void scanWithoutDatabases();
    void removalOfChosenRows();
    void removalMessage();
    void lastReport();
    void keyboardAndAssistiveTechnology();
    void focusMarks();
    void readableUnderLightAndDarkPalettes();
    void windowsOpenCentred();
    void panelsStayReachable();
};

namespace {

// A loaded window over an application folder with the six language files,
// English chosen, and a drive folder with three files the spyware database
// names: bad/a.exe, bad/b.exe and bad/c.exe.
struct WindowFixture {
    TestAppFolder app;
    QString root = app.filePath("drive");
    FakeShellOpen *shell = nullptr;
    std::unique_ptr<Form1> window;

    explicit WindowFixture(bool databases = true)
    {
        for (int i = 0; i < 6; ++i)
            app.writeFile("Language/" + languageFileName(i),
                          readTestFile(TORVAKINE_LANGUAGE_SOURCE_DIR "/" + languageFileName(i)));
        app.writeFile("lang.dat", app.readFile("Language/english"));
        if (databases) {
            app.writeDatabase("cookdb.dat",
                              "***Adware.Sample\n\\bad\\?.exe\n***End\n--ME-\n<<<>>\n");
            app.writeDatabase("trojsig.dat", "[[[1\n");
            app.writeDatabase("regdb.dat", "[[[1\n");
        }
        for (const char *name : {"a", "b", "c"})
            writeTestFile(root + "/bad/" + name + ".exe", "x");
        window = std::make_unique<Form1>(app.paths(), app.loadTables());
        auto fake = std::make_unique<FakeShellOpen>();
        shell = fake.get();
        window->setShellOpen(std::move(fake));
        window->Form_Load();
        window->addDriveEntry(root + " [test]");
        window->Drive1->setCurrentIndex(window->Drive1->count() - 1);
    }
    Form1 &w() { return *window; }
    LanguageTexts texts() const { return app.texts(); }
    // The rows of the list as shown: file, and name as the list shows it.
    QStringList shownRows()
    {
        QStringList rows;
        const QAbstractItemModel *m = w().ListView1->model();
        for (int r = 0; r < m->rowCount(); ++r)
            rows << m->index(r, 1).data().toString().section('/', -1) + "|" +
                        m->index(r, 0).data().toString();
        rows.sort();
        return rows;
    }
};

// The accessible name and description a screen reader gets for w.
QString accessibleText(QWidget *w, QAccessible::Text t)
{
    QAccessibleInterface *i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(t) : QString();
}

// The relative luminance of a colour and the contrast of two colours, as the
// web's accessibility guidelines define them.
double luminance(QColor c)
{
    const auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}
double contrast(QColor a, QColor b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast between the text drawn in rect of image and its background:
// the most common colour is taken for the background, the pixel farthest
// from it in luminance for the text.
double textContrast(const QImage &image, const QRect &rect)
{
    QHash<QRgb, int> counts;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(QColor(it.key()), QColor(background)));
    return best;
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2b), base(0x1e, 0x1e, 0x1e), text(0xe6, 0xe6, 0xe6);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9a));
    return p;
}

void showAndActivate(QWidget &w)
{
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

} // namespace

void TestWindow::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QApplication::setStyle(QStyleFactory::create("Fusion"));
}

void TestWindow::scanWithoutDatabases()
{
    // Without any database the scan still runs, after a warning naming the
    // databases missing; its summary and report say it was incomplete.
    // Without the registry scan, the registry database is not needed.
    for (const bool registry : {true, false}) {
        WindowFixture f(false);
        Form1 &w = f.w();
        w.Check1->setChecked(registry);
        BoxAnswerer boxes;
        w.Command1_Click();
        const QString missing =
            registry ? "cookdb.dat\ntrojsig.dat\nregdb.dat" : "cookdb.dat\ntrojsig.dat";
        const LanguageTexts t = f.texts();
        QCOMPARE(boxes.shown,
                 QStringList("Torvakine|" + t.Lingua(MissingDatabasesText) + "\n\n" + missing));
        QVERIFY2(
            w.Text6->text().endsWith(QString::fromUtf8(" \u2013 ") + t.Lingua(ScanIncompleteText)),
            qPrintable(w.Text6->text()));
        QVERIFY2(w.Text6->text().startsWith("6 " + t.Lingua(13) + "0 "),
                 qPrintable(w.Text6->text()));
        const QString report = QString::fromUtf8(readTestFile(w.scanSession().reportPath()));
        QVERIFY(report.endsWith(t.Lingua(MissingDatabasesText) + " " +
                                QString(missing).replace('\n', ", ") + "\r\n" + QString(27, '-') +
                                "\r\n"));
    }
    // With every database loaded, no warning.
    WindowFixture f;
    BoxAnswerer boxes;
    f.w().Command1_Click();
    QCOMPARE(boxes.shown, QStringList());
    QVERIFY(!f.w().Text6->text().contains(f.texts().Lingua(ScanIncompleteText)));
}

void TestWindow::removalOfChosenRows()
{
    WindowFixture f;
    Form1 &w = f.w();
    const LanguageTexts t = f.texts();
    w.Check1->setChecked(false);
    w.Command1_Click();
    QCOMPARE(w.scanSession().results().count(), 3);
    // b.exe cannot be deleted: its folder takes no new entries... the file
    // itself is read-only, which the removal does not force.
    const QString b = f.root + "/bad/b.exe";
    QVERIFY(QFile::setPermissions(b, QFileDevice::ReadOwner));

    // The confirmation counts every row when none is selected; Cancel
    // removes nothing.
    {
        BoxAnswerer boxes({t.Lingua(CancelText)});
        w.Command6_Click();
        QCOMPARE(boxes.shown, QStringList("Torvakine|" + t.Lingua(RemoveConfirmText) + " 3"));
    }
    QCOMPARE(w.scanSession().results().count(), 3);
    QVERIFY(QFile::exists(f.root + "/bad/a.exe"));

    // The selected rows a.exe and b.exe: a.exe goes, b.exe stays marked with
    // why; c.exe, not selected, stays as it was.  The message counts both
    // and its button opens the report.
    const QAbstractItemModel *m = w.ListView1->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        if (!m->index(r, 1).data().toString().endsWith("c.exe"))
            w.ListView1->selectionModel()->select(m->index(r, 0), QItemSelectionModel::Select |
                                                                      QItemSelectionModel::Rows);
    }
    {
        BoxAnswerer boxes({t.Lingua(RemoveButtonText), t.Lingua(OpenReportText)});
        w.Command6_Click();
        QCOMPARE(boxes.shown,
                 QStringList({"Torvakine|" + t.Lingua(RemoveConfirmText) + " 2",
                              "Torvakine|" + t.Lingua(27) + "\n" + t.Lingua(RemovedCountText) +
                                  " 1\n" + t.Lingua(NotRemovedCountText) + " 1\n" + t.Lingua(28)}));
    }
    QCOMPARE(f.shell->opened, QList<QUrl>{QUrl::fromLocalFile(w.scanSession().reportPath())});
    QVERIFY(!QFile::exists(f.root + "/bad/a.exe"));
    QVERIFY(QFile::exists(b) && QFile::exists(f.root + "/bad/c.exe"));
    QCOMPARE(f.shownRows(), QStringList({"b.exe|Adware.Sample (" + t.Lingua(NotRemovedText) + ")",
                                         "c.exe|Adware.Sample"}));
    for (int r = 0; r < m->rowCount(); ++r) {
        if (m->index(r, 1).data().toString().endsWith("b.exe")) {
            QVERIFY(m->index(r, 1)
                        .data(Qt::ToolTipRole)
                        .toString()
                        .startsWith(t.Lingua(NotRemovedText) + ": " + t.Lingua(RefusedReasonText)));
            QVERIFY(!m->index(r, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        }
    }
    // The report keeps its record of the failure.
    QVERIFY(readTestFile(w.scanSession().reportPath())
                .endsWith((t.Lingua(31) + " " + b + "\r\n" + QString(27, '-') + "\r\n").toUtf8()));

    // With no selection the rest goes, b.exe once it may be deleted.
    QVERIFY(QFile::setPermissions(b, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    w.ListView1->clearSelection();
    {
        BoxAnswerer boxes({t.Lingua(RemoveButtonText)});
        w.Command6_Click();
        QCOMPARE(boxes.shown.size(), 2);
        QVERIFY(boxes.shown[1].contains(t.Lingua(RemovedCountText) + " 2\n"));
    }
    QCOMPARE(w.scanSession().results().count(), 0);
    QVERIFY(!QFile::exists(b) && !QFile::exists(f.root + "/bad/c.exe"));
    // An empty list asks nothing.
    BoxAnswerer none;
    w.Command6_Click();
    QCOMPARE(none.shown, QStringList());
}

void TestWindow::removalMessage()
{
    // A browser that held its cookie store open is named in the message.
    TestAppFolder app;
    app.writeFile("lang.dat", readTestFile(TORVAKINE_LANGUAGE_SOURCE_DIR "/deutsch"));
    const LanguageTexts t = app.texts();
    const QList<RowRemoval> outcomes = {{1, RemovalOutcome::Removed},
                                        {2, RemovalOutcome::BrowserLocked},
                                        {3, RemovalOutcome::Changed},
                                        {4, RemovalOutcome::Removed}};
    QCOMPARE(::removalMessage(t, outcomes),
             QStringList({t.Lingua(27), t.Lingua(RemovedCountText) + " 2",
                          t.Lingua(NotRemovedCountText) + " 2", t.Lingua(28),
                          t.Lingua(CloseBrowserText)})
                 .join('\n'));
    QCOMPARE(::removalMessage(t, {{1, RemovalOutcome::Removed}}),
             QStringList({t.Lingua(27), t.Lingua(RemovedCountText) + " 1",
                          t.Lingua(NotRemovedCountText) + " 0"})
                 .join('\n'));
}

void TestWindow::lastReport()
{
    WindowFixture f;
    Form1 &w = f.w();
    // Before a scan there is no report to open.
    QVERIFY(!w.OpenReport->isEnabled());
    w.Check1->setChecked(false);
    w.Command1_Click();
    QVERIFY(w.OpenReport->isEnabled());
    QTest::mouseClick(w.OpenReport, Qt::LeftButton);
    QCOMPARE(f.shell->opened, QList<QUrl>{QUrl::fromLocalFile(w.scanSession().reportPath())});
    // A desktop without a program for it, or a report gone meanwhile: the
    // user is told, with the path.
    f.shell->succeeds = false;
    BoxAnswerer boxes;
    w.openReport();
    QVERIFY(QFile::remove(w.scanSession().reportPath()));
    w.openReport();
    const QString told =
        "Torvakine|" + f.texts().Lingua(ReportOpenFailedText) + " " + w.scanSession().reportPath();
    QCOMPARE(boxes.shown, QStringList({told, told}));
    QCOMPARE(f.shell->opened.size(), 2);
}

void TestWindow::keyboardAndAssistiveTechnology()
{
    WindowFixture f;
    Form1 &w = f.w();
    showAndActivate(w);
    w.Check1->setChecked(false);
    w.Command1_Click(); // a report to open, rows to remove
    // Enter on the Scan picture opens the panel, Space closes it again.
    w.Image1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.Image1, Qt::Key_Return);
    QCOMPARE(w.ActivePanel, quint8(1));
    QTest::keyClick(w.Image1, Qt::Key_Space);
    QCOMPARE(w.ActivePanel, quint8(0));
    QTest::keyClick(w.Image1, Qt::Key_Enter);
    QCOMPARE(w.ActivePanel, quint8(1));

    // Tab walks the flags, the panel pictures and the open panel's controls
    // in order, and comes round again; the stop button, disabled, is passed
    // over, and so are the hidden buttons parked outside the window.
    const QList<QWidget *> pictures = {w.Command8[0], w.Command8[1], w.Command8[2], w.Command8[3],
                                       w.Command8[4], w.Command8[5], w.Image1,      w.Image4,
                                       w.Image11,     w.Image3};
    const QList<QWidget *> scanChain =
        pictures + QList<QWidget *>{w.Drive1,    w.Check1, w.Command1,  w.Command6,
                                    w.ListView1, w.Text6,  w.OpenReport};
    const auto walk = [](QWidget *from, int steps) {
        from->setFocus(Qt::TabFocusReason);
        QList<QWidget *> seen{QApplication::focusWidget()};
        for (int i = 1; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        return seen;
    };
    QCOMPARE(walk(w.Command8[0], scanChain.size() + 1),
             scanChain + QList<QWidget *>{w.Command8[0]});
    w.Image4_Click();
    const QList<QWidget *> updateChain =
        pictures + QList<QWidget *>{w.Command7, w.UpdateStatus, w.LstDownload, w.Text2};
    QCOMPARE(walk(w.Command8[0], updateChain.size()), updateChain);
    w.Image11_Click();
    const QList<QWidget *> quarantineChain =
        pictures + QList<QWidget *>{w.Command9, w.Command10, w.ListView2, w.Text7};
    QCOMPARE(walk(w.Command8[0], quarantineChain.size()), quarantineChain);

    // Every control of the chains, and the stop button, has a name and a
    // description in the current language; Enter on a flag switches the
    // language, and the names follow.
    QList<QWidget *> controls = scanChain + updateChain + quarantineChain;
    controls << w.Command2 << w.ProgressBar1 << w.lblMessages << w.Label3 << w.Frame1 << w.Frame2
             << w.Frame4 << w.Label11;
    for (int language : {0, 1, 3}) {
        w.Command8[size_t(language)]->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w.Command8[size_t(language)], Qt::Key_Return);
        const LanguageTexts t = f.app.texts();
        QCOMPARE(w.Check1->text(), t.Lingua(4));
        for (QWidget *c : controls) {
            QVERIFY2(!accessibleText(c, QAccessible::Name).isEmpty(), qPrintable(c->objectName()));
            QVERIFY2(!accessibleText(c, QAccessible::Description).isEmpty(),
                     qPrintable(accessibleText(c, QAccessible::Name)));
        }
        QCOMPARE(accessibleText(w.Command1, QAccessible::Name), t.Lingua(1));
        QCOMPARE(accessibleText(w.Command1, QAccessible::Description),
                 t.Lingua(ScanDescriptionText));
        QCOMPARE(accessibleText(w.Image1, QAccessible::Name), t.Lingua(ScanPanelText));
        QCOMPARE(accessibleText(w.Command6, QAccessible::Description),
                 t.Lingua(RemoveDescriptionText));
        QCOMPARE(accessibleText(w.ListView1, QAccessible::Name), t.Lingua(ResultListText));
        QCOMPARE(accessibleText(w.OpenReport, QAccessible::Name), t.Lingua(OpenReportText));
        QCOMPARE(accessibleText(w.Command8[2], QAccessible::Name), QStringLiteral("Italiano"));
        QCOMPARE(accessibleText(w.Command8[2], QAccessible::Description),
                 t.Lingua(LanguageButtonText));
        QCOMPARE(accessibleText(w.Drive1, QAccessible::Description), f.root + " [test]");
    }
    QCOMPARE(f.app.texts().Lingua(1), QStringLiteral("Anfangsscan"));
}

void TestWindow::focusMarks()
{
    // A focused flag, panel picture or command shows a mark in the
    // highlight colour that it does not show without the focus.
    WindowFixture f;
    Form1 &w = f.w();
    showAndActivate(w);
    w.Image1_Click();
    w.Check1->setChecked(false);
    w.Command1_Click(); // a report to open
    const QColor highlight = w.palette().color(QPalette::Highlight);
    for (QWidget *c :
         QList<QWidget *>{w.Command8[0], w.Image1, w.Image3, w.Command1, w.OpenReport}) {
        w.Drive1->setFocus(Qt::TabFocusReason);
        const QImage plain = c->grab().toImage();
        c->setFocus(Qt::TabFocusReason);
        QVERIFY2(c->hasFocus(), qPrintable(accessibleText(c, QAccessible::Name)));
        const QImage marked = c->grab().toImage();
        const auto highlighted = [&highlight](const QImage &image) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    n += QColor(image.pixel(x, y)) == highlight;
            return n;
        };
        // At least the ring around the widget's edges.
        QVERIFY2(highlighted(marked) - highlighted(plain) >= c->width() + c->height(),
                 qPrintable(accessibleText(c, QAccessible::Name)));
    }
}

void TestWindow::readableUnderLightAndDarkPalettes()
{
    // Every label, the check box and the panel captions keep a contrast of
    // at least 4.5 to 1 with what they are drawn on, whatever the palette.
    const QPalette original = QApplication::palette();
    for (const QPalette &palette : {QApplication::style()->standardPalette(), darkPalette()}) {
        QApplication::setPalette(palette);
        WindowFixture f;
        Form1 &w = f.w();
        w.Check1->setChecked(false);
        w.Command1_Click();
        // The window's own labels with both panels closed, then each panel's.
        for (int panel : {0, 1, 2}) {
            if (panel == 1)
                w.Image1_Click();
            if (panel == 2)
                w.Image4_Click();
            w.Text1->show();
            const QImage image = w.grab().toImage();
            QList<QWidget *> texts;
            if (panel == 0)
                texts = {w.lblMessages, w.Label1,  w.Label2, w.Label5,
                         w.Label6,      w.Label10, w.Label8};
            else if (panel == 1)
                texts = {w.Label3, w.Check1, w.Text6};
            else
                texts = {w.Text1};
            for (QWidget *t : texts) {
                const QRect r(t->mapTo(&w, QPoint(0, 0)), t->size());
                const double c = textContrast(image, r.intersected(image.rect()));
                QVERIFY2(
                    c >= 4.5,
                    qPrintable(QString("%1: %2").arg(accessibleText(t, QAccessible::Name)).arg(c)));
            }
            // The captions of the open panel, in its top band.
            QList<QGroupBox *> frames;
            if (panel == 1)
                frames = {w.Frame1};
            if (panel == 2)
                frames = {w.Frame2, w.Frame3};
            for (QGroupBox *frame : frames) {
                const QRect title(frame->mapTo(&w, QPoint(0, 0)),
                                  QSize(frame->fontMetrics().horizontalAdvance(frame->title()) + 16,
                                        frame->fontMetrics().height() + 2));
                QVERIFY2(textContrast(image, title) >= 4.5, qPrintable(frame->title()));
            }
        }
    }
    QApplication::setPalette(original);
}

void TestWindow::windowsOpenCentred()
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    WindowFixture f;
    TestAppFolder app;
    frmSplash splash(app.paths());
    // The loading window places itself; the start-up places the main
    // window before it shows it.
    centreOnScreen(*f.window);
    for (QWidget *w : QList<QWidget *>{&splash, f.window.get()}) {
        QVERIFY(w->size().width() < screen.width() && w->size().height() < screen.height());
        QVERIFY(qAbs(w->geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(w->geometry().center().y() - screen.center().y()) <= 1);
    }
}

void TestWindow::panelsStayReachable()
{
    // Whatever was done before (panel changes, a scan, a removal, a language
    // switch), the panel open is the one ActivePanel names, its picture
    // shows selected, and at most two clicks open either panel.
    WindowFixture f;
    Form1 &w = f.w();
    const LanguageTexts t = f.texts();
    w.Check1->setChecked(false);
    BoxAnswerer boxes(QStringList(50, t.Lingua(RemoveButtonText)));
    const QImage scanPicture = w.Image1->pixmap().toImage();
    const QImage updatesPicture = w.Image4->pixmap().toImage();
    const auto consistent = [&] {
        const int panel = w.ActivePanel;
        return (panel == 0 || panel == 1 || panel == 2) && w.Frame1->isHidden() == (panel != 1) &&
               w.Frame2->isHidden() == (panel != 2) &&
               (w.Image1->pixmap().toImage() == scanPicture) == (panel != 1) &&
               (w.Image4->pixmap().toImage() == updatesPicture) == (panel != 2);
    };
    const QList<std::function<void()>> actions = {
        [&] { w.Image1_Click(); },
        [&] { w.Image4_Click(); },
        [&] { w.Command1_Click(); },
        [&] {
            for (const char *name : {"a", "b", "c"})
                writeTestFile(f.root + "/bad/" + name + ".exe", "x");
            w.Command1_Click();
            w.Command6_Click();
        },
        [&] { w.Command8_Click(1); },
    };
    for (int first = 0; first < actions.size(); ++first) {
        for (int second = 0; second < actions.size(); ++second) {
            actions[first]();
            actions[second]();
            QVERIFY(consistent());
            for (int target : {1, 2}) {
                int clicks = 0;
                while (w.ActivePanel != target && clicks < 2) {
                    QTest::mouseClick(target == 1 ? w.Image1 : w.Image4, Qt::LeftButton);
                    ++clicks;
                }
                QCOMPARE(w.ActivePanel, quint8(target));
                QVERIFY(consistent() && w.isEnabled() && w.Frame1->isEnabled());
            }
        }
    }
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
