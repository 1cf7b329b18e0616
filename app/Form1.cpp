#include "app/Form1.h"

#include "TorvakineVersion.h"
#include "app/Artwork.h"
#include "app/FocusButton.h"
#include "app/ImageControl.h"
#include "app/ProgressBarIndicator.h"
#include "app/ResultRowMarks.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageSwitch.h"
#include "platform/DriveList.h"
#include "platform/TextFiles.h"
#include "scanner/ScanSession.h"
#include "update/widgets/DesktopShellOpen.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

namespace {

QRect layoutRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// The text colour on the window's light picture and on the panels' light
// surface, whatever the desktop's palette says.
const QColor kFixedText(0x1b, 0x2a, 0x3a);

QLabel *statusLabel(QWidget *parent, const QString &caption, const QString &color, int left)
{
    auto *label = new QLabel(caption, parent);
    label->setGeometry(layoutRect(left, 6360, color.isEmpty() ? 1215 : 615, 255));
    // A style sheet sets its own colours: the name labels take the fixed
    // dark text colour of the window's light picture.
    QString style = QStringLiteral("font-weight: bold; color: ") +
                    (color.isEmpty() ? kFixedText.name() : color) + QLatin1Char(';');
    if (!color.isEmpty())
        label->hide();
    label->setStyleSheet(style);
    return label;
}

QPushButton *pictureButton(QWidget *parent, const QString &art, const QRect &rect)
{
    auto *button = new FocusButton(parent);
    button->setGeometry(rect);
    const QSize inner = rect.size() - QSize(6, 6);
    button->setIcon(QIcon(Artwork::pixmap(art, inner)));
    button->setIconSize(inner);
    return button;
}

ImageControl *imageControl(QWidget *parent, const QString &art, const QRect &rect)
{
    auto *image = new ImageControl(parent);
    image->setGeometry(rect);
    if (!art.isEmpty())
        image->setPixmap(Artwork::pixmap(art, rect.size()));
    return image;
}

// A panel fills its area with a plain surface of its own: it would otherwise
// inherit the window's background picture and tile it again from its own
// corner, putting the header and emblem of the window inside the panel.
void givePanelSurface(QGroupBox *frame)
{
    QPalette pal = frame->palette();
    pal.setColor(QPalette::Window, QColor(0xf4, 0xf8, 0xfb));
    pal.setColor(QPalette::WindowText, kFixedText);
    frame->setPalette(pal);
}

} // namespace

Form1::Form1(AppPaths paths, DatabaseTables loaded, UpdateSettings updateSettings, QWidget *parent)
    : QWidget(parent), m_paths(std::move(paths)), m_loaded(std::move(loaded)),
      m_engine(makeEngine(DatabaseTables{}))
{
    buildWindow();
    buildScanPanel();
    buildUpdatesPanel(std::move(updateSettings));
    buildQuarantinePanel();
    m_shell = std::make_unique<DesktopShellOpen>();
    startSession();
    setFixedTextColours();
    setTabOrder();
    nameControls();
}

void Form1::setShellOpen(std::unique_ptr<ShellOpen> shell)
{
    m_shell = std::move(shell);
}

void Form1::setFixedTextColours()
{
    // Texts drawn straight onto the window's picture or a panel's surface
    // (labels, the check box, the panel captions) take a fixed dark colour:
    // the desktop's text colour may be light under a dark palette.  Controls
    // with surfaces of their own (lists, text boxes, buttons) keep the
    // palette's pairs of colours.
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, kFixedText);
    setPalette(pal);
    givePanelSurface(Frame1);
    givePanelSurface(Frame2);
    givePanelSurface(Frame4);
    QPalette message = Frame3->palette();
    message.setColor(QPalette::WindowText, kFixedText);
    Frame3->setPalette(message);
}

void Form1::setTabOrder()
{
    // The flags along the top, the panel pictures down the left, then the
    // open panel: the scan's drive, registry choice and commands, its list
    // and report; the update command, its result and downloads and the
    // server's message.  Hidden and disabled controls are passed over.
    QList<QWidget *> chain(Command8.cbegin(), Command8.cend());
    chain << Image1 << Image4 << Image11 << Image3 << Drive1 << Check1 << Command1 << Command2
          << Command6 << ListView1 << Text6 << OpenReport << Command7 << UpdateStatus << LstDownload
          << Text2 << Command9 << Command10 << ListView2 << Text7;
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

Form1::~Form1() = default;

void Form1::buildWindow()
{
    setObjectName(QStringLiteral("Form1"));
    setFixedSize(twips(9585), twips(7200));
    setWindowIcon(QIcon(Artwork::pixmap(QStringLiteral("app_icon"), QSize(64, 64))));
    QPalette pal = palette();
    pal.setBrush(QPalette::Window, QBrush(Artwork::pixmap(QStringLiteral("background"), size())));
    setPalette(pal);
    setAutoFillBackground(true);

    static const int flagLefts[6] = {1440, 2760, 4200, 5520, 7080, 8760};
    static const char *flags[6] = {"flag_en", "flag_fr", "flag_it",
                                   "flag_de", "flag_es", "flag_nl"};
    for (int i = 0; i < 6; ++i) {
        QPushButton *b = pictureButton(this, QString::fromLatin1(flags[i]),
                                       layoutRect(flagLefts[i], 360, 495, 375));
        // The language's own name, in every language.
        b->setToolTip(languageNativeName(i));
        b->setAccessibleName(languageNativeName(i));
        b->setIconSize(QSize(30, 20));
        b->setIcon(QIcon(Artwork::pixmap(QString::fromLatin1(flags[i]), QSize(30, 20))));
        connect(b, &QPushButton::clicked, this, [this, i] { Command8_Click(i); });
        Command8[size_t(i)] = b;
    }

    lblMessages = new QLabel(this);
    lblMessages->setGeometry(layoutRect(1920, 1080, 6735, 255));

    Image1 = imageControl(this, QStringLiteral("nav_scan"), layoutRect(120, 1080, 1200, 1200));
    Image4 = imageControl(this, QStringLiteral("nav_updates"), layoutRect(120, 3240, 1200, 1200));
    Image3 = imageControl(this, QStringLiteral("nav_exit"), layoutRect(120, 5520, 1200, 1200));
    // The Quarantine panel's picture, smaller, in the room between Updates
    // and the exit.
    Image11 = imageControl(this, QStringLiteral("nav_quarantine"), layoutRect(240, 4500, 960, 960));
    Image10 = imageControl(this, QStringLiteral("banner"), layoutRect(2040, 2400, 6510, 3195));
    Image10->setAccessibleName(QStringLiteral("TORVAKINE Antispyware"));
    for (ImageControl *nav : {Image1, Image4, Image11, Image3})
        nav->setActivatable(true);
    connect(Image1, &ImageControl::clicked, this, &Form1::Image1_Click);
    connect(Image4, &ImageControl::clicked, this, &Form1::Image4_Click);
    connect(Image3, &ImageControl::clicked, this, &Form1::Image3_Click);
    connect(Image11, &ImageControl::clicked, this, &Form1::Image11_Click);

    // Picture holders, parked outside the client area.
    Image5 =
        imageControl(this, QStringLiteral("nav_scan_selected"), layoutRect(9600, 120, 1200, 1200));
    Image2 = imageControl(this, QStringLiteral("nav_updates_selected"),
                          layoutRect(9600, 1440, 1200, 1200));
    Image6 =
        imageControl(this, QStringLiteral("nav_exit_pressed"), layoutRect(9600, 2760, 1200, 1200));
    Image7 = imageControl(this, QString(), layoutRect(9600, 4080, 1200, 1200));
    Image12 = imageControl(this, QStringLiteral("nav_quarantine_selected"),
                           layoutRect(10800, 120, 960, 960));
    Image8 = imageControl(this, QStringLiteral("btn_scan_hover"), layoutRect(9600, 5400, 615, 615));
    Image9 = imageControl(this, QStringLiteral("btn_scan"), layoutRect(10320, 5400, 615, 615));
    Command4 = new QPushButton(QStringLiteral("terminate"), this);
    Command4->setGeometry(layoutRect(9600, 6120, 1095, 375));
    Command5 = new QPushButton(QStringLiteral("list process"), this);
    Command5->setGeometry(layoutRect(10800, 6120, 1095, 375));
    // Parked outside the window: no key may reach them either.
    Command4->setFocusPolicy(Qt::NoFocus);
    Command5->setFocusPolicy(Qt::NoFocus);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);

    Label1 = statusLabel(this, QStringLiteral("SPYDB"), QString(), 1560);
    Label2 = statusLabel(this, QStringLiteral("OK"), QStringLiteral("#146c2e"), 2880);
    Label4 = statusLabel(this, QStringLiteral("ERR"), QStringLiteral("#b71c1c"), 2880);
    Label10 = statusLabel(this, QStringLiteral("REGDB"), QString(), 4200);
    Label8 = statusLabel(this, QStringLiteral("OK"), QStringLiteral("#146c2e"), 5520);
    Label9 = statusLabel(this, QStringLiteral("ERR"), QStringLiteral("#b71c1c"), 5520);
    Label5 = statusLabel(this, QStringLiteral("TROJSIG"), QString(), 6960);
    Label6 = statusLabel(this, QStringLiteral("OK"), QStringLiteral("#146c2e"), 8280);
    Label7 = statusLabel(this, QStringLiteral("ERR"), QStringLiteral("#b71c1c"), 8280);

    Timer1 = new QTimer(this);
    Timer1->setInterval(9);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(150);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
}

void Form1::buildScanPanel()
{
    Frame1 = new QGroupBox(QStringLiteral("Scan"), this);
    Frame1->setGeometry(layoutRect(1440, 960, 7815, 5895));
    Frame1->setAutoFillBackground(true);
    Frame1->setMouseTracking(true);
    Frame1->installEventFilter(this);
    Frame1->hide();

    Command1 = pictureButton(Frame1, QStringLiteral("btn_scan"), layoutRect(2640, 240, 615, 615));
    Command1->setMouseTracking(true);
    Command1->installEventFilter(this);
    Command2 = pictureButton(Frame1, QStringLiteral("btn_stop"), layoutRect(3240, 240, 615, 615));
    Command6 = pictureButton(Frame1, QStringLiteral("btn_remove"), layoutRect(3840, 240, 615, 615));
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);

    Check1 = new QCheckBox(Frame1);
    Check1->setGeometry(layoutRect(240, 600, 2055, 255));
    Label3 = new QLabel(Frame1);
    Label3->setGeometry(layoutRect(4680, 240, 3015, 375));
    Drive1 = new QComboBox(Frame1);
    Drive1->setGeometry(layoutRect(4680, 600, 3015, 315));
    Drive1->view()->setTextElideMode(Qt::ElideMiddle);
    Label3->setBuddy(Drive1);
    for (const QString &entry : DriveList::entries())
        addDriveEntry(entry);
    connect(Drive1, &QComboBox::currentIndexChanged, this, [this] {
        Drive1->setToolTip(currentDriveEntry());
        Drive1->setAccessibleDescription(currentDriveEntry());
    });
    // The report of the last scan, in the room above the registry choice.
    OpenReport = new FocusButton(Frame1);
    OpenReport->setGeometry(layoutRect(240, 210, 2055, 345));
    OpenReport->setEnabled(false);
    connect(OpenReport, &QPushButton::clicked, this, &Form1::openReport);

    // The list is a little shorter than the window's design, so that the
    // summary below it has room for two lines in every language.
    ListView1 = new QTreeView(Frame1);
    ListView1->setGeometry(layoutRect(120, 1080, 7575, 3495));
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->header()->setStretchLastSection(false);
    m_resultMarks = new ResultRowMarks(m_texts, this);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const QModelIndex index = ListView1->indexAt(at);
        if (!index.isValid())
            return;
        QMenu menu(ListView1);
        menu.addAction(Lingua(AlwaysAllowText), this,
                       [this, row = index.row()] { alwaysAllowRow(row); });
        menu.exec(ListView1->viewport()->mapToGlobal(at));
    });

    ProgressBar1 = new QProgressBar(Frame1);
    ProgressBar1->setGeometry(layoutRect(120, 4665, 7575, 255));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
    m_progress = std::make_unique<ProgressBarIndicator>(ProgressBar1);

    Text6 = new QLabel(Frame1);
    Text6->setGeometry(layoutRect(120, 5010, 7575, 765));
    Text6->setWordWrap(true);
    Text6->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Text6->setFrameShape(QFrame::StyledPanel);
    Text6->setFrameShadow(QFrame::Sunken);
    Text6->setBackgroundRole(QPalette::Base);
    Text6->setForegroundRole(QPalette::Text);
    Text6->setAutoFillBackground(true);
    Text6->setMargin(2);
    Text6->setTextFormat(Qt::PlainText);
    Text6->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text6->setFocusPolicy(Qt::StrongFocus);
}

void Form1::startSession()
{
    ScanCallbacks callbacks;
    callbacks.processEvents = [this] { m_pump.processPendingEvents(); };
    callbacks.progress = m_progress.get();
    m_session = std::make_unique<ScanSession>(m_engine, m_paths, m_texts, std::move(callbacks));
    // The list shows the new session's rows; a new model brings new columns.
    m_resultMarks->setSourceModel(&m_session->results());
    ListView1->setModel(m_resultMarks);
    ListView1->header()->resizeSection(0, twips(2540));
    ListView1->header()->resizeSection(1, twips(10231));
}

void Form1::Form_Load()
{
    setWindowTitle(QStringLiteral("TORVAKINE Antispyware " TORVAKINE_VERSION));
    LoadLingua();
    AssociaStringhe();
    Command2->setEnabled(false);
    Command4->setEnabled(false);
    Command6->setEnabled(false);
    Check1->setChecked(true);
    showLastUpdateLine();
    prepareLoadedTables(m_loaded);
    showDatabaseStatus(m_loaded);
    m_engine = makeEngine(std::exchange(m_loaded, DatabaseTables{}));
    startSession();
    Timer1->start();
    Timer2->start();
}

void Form1::showLastUpdateLine()
{
    bool ok = false;
    const QByteArray line = TextFiles::readFirstLine(m_paths.UpdDatPath, &ok);
    LastUpdateText = ok ? TextFiles::fromLocal8Bit(line) : QString();
    lblMessages->setText(Lingua(33) + QStringLiteral(": ") +
                         (LastUpdateText.isEmpty() ? Lingua(34) : LastUpdateText));
    lblMessages->setToolTip(Lingua(DataFolderText) + QLatin1Char(' ') +
                            m_paths.folders.writeFolder);
    lblMessages->setAccessibleDescription(lblMessages->text());
}

void Form1::showDatabaseStatus(const DatabaseTables &t)
{
    Label2->setVisible(t.CookDbLoaded);
    Label4->setVisible(!t.CookDbLoaded);
    Label6->setVisible(t.TrojSigLoaded);
    Label7->setVisible(!t.TrojSigLoaded);
    Label8->setVisible(t.RegDbLoaded);
    Label9->setVisible(!t.RegDbLoaded);
}

void Form1::Form_Unload()
{
    m_session->requestStop();
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::HoverMove ||
        event->type() == QEvent::Enter) {
        if (watched == Command1)
            Command1_MouseMove();
        else if (watched == Frame1)
            Frame1_MouseMove();
    }
    return QWidget::eventFilter(watched, event);
}
