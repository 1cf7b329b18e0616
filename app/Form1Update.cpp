// The main window's Updates panel: the update check, the download list,
// Timer3 and the reload of the databases after an update.
#include "app/Artwork.h"
#include "app/FocusButton.h"
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/ProgressBarIndicator.h"
#include "update/DatabaseReload.h"
#include "update/UpdateCommand.h"
#include "update/widgets/frmNewversion.h"

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

namespace {
// The download list as LstDownload shows it: each row with the small icon of
// a download.
class DownloadListIcons : public QIdentityProxyModel
{
public:
    explicit DownloadListIcons(QObject *parent)
        : QIdentityProxyModel(parent),
          m_icon(Artwork::pixmap(QStringLiteral("download_row"), QSize(16, 16)))
    {
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DecorationRole && index.column() == 0)
            return m_icon;
        return QIdentityProxyModel::data(index, role);
    }

private:
    QIcon m_icon;
};

// While it lives, the window waits for the update server: a busy cursor, and
// every click, key and wheel turn aimed at the main window or its
// new-version notice is dropped, so that no command starts while the event
// pump keeps the window painted.  Message boxes stay usable.
class WaitingForServer : public QObject
{
public:
    explicit WaitingForServer(const QWidget &window) : m_window(window)
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        qApp->installEventFilter(this);
    }
    ~WaitingForServer() override
    {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            break;
        default:
            return false;
        }
        const auto *widget = qobject_cast<const QWidget *>(watched);
        if (!widget)
            return false;
        const QWidget *top = widget->window();
        return top == &m_window || qobject_cast<const frmNewversion *>(top);
    }

private:
    const QWidget &m_window;
};

// A message box of the update, answered with the normal cursor also while
// the window waits for the server.
void showBox(QMessageBox::Icon icon, const QString &title, const QString &text, QWidget *parent)
{
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
    QApplication::restoreOverrideCursor();
}
} // namespace

void Form1::buildUpdatesPanel(UpdateSettings settings)
{
    Frame2 = new QGroupBox(QStringLiteral("Updates"), this);
    Frame2->setGeometry(twips(1440), twips(960), twips(7815), twips(5895));
    Frame2->setAutoFillBackground(true);
    Frame2->hide();

    Command7 = new FocusButton(Frame2);
    Command7->setGeometry(twips(240), twips(360), twips(975), twips(855));
    const QSize command7Picture = Command7->size() - QSize(6, 6);
    Command7->setIcon(QIcon(Artwork::pixmap(QStringLiteral("btn_update"), command7Picture)));
    Command7->setIconSize(command7Picture);
    // Wider than the window's design and without a frame, so that the whole
    // text shows: only the status, not a field to type into.
    Text1 = new QLineEdit(QStringLiteral("Connecting...."), Frame2);
    Text1->setGeometry(twips(1260), twips(840), twips(1320), twips(375));
    Text1->setFrame(false);
    Text1->setReadOnly(true);
    Text1->setFocusPolicy(Qt::NoFocus);
    Text1->hide();
    UpdateStatus = new QPlainTextEdit(Frame2);
    UpdateStatus->setGeometry(twips(2640), twips(360), twips(4935), twips(855));
    UpdateStatus->setReadOnly(true);
    UpdateStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    UpdateStatus->setFrameShape(QFrame::NoFrame);
    UpdateStatus->viewport()->setAutoFillBackground(false);
    LstDownload = new QTreeView(Frame2);
    LstDownload->setGeometry(twips(240), twips(1320), twips(7335), twips(3135));
    LstDownload->setRootIsDecorated(false);
    Frame3 = new QGroupBox(QStringLiteral("Message"), Frame2);
    Frame3->setGeometry(twips(240), twips(4560), twips(7335), twips(1095));
    Text2 = new QPlainTextEdit(Frame3);
    Text2->setGeometry(twips(120), twips(240), twips(7095), twips(735));
    Text2->setReadOnly(true);
    Text2->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Timer3 = new QTimer(this);
    Timer3->setInterval(500);

    m_update = new UpdateCommand(m_paths, m_files, std::move(settings), this);
    // The window is repainted through its event pump while a fetch waits.
    m_update->setWhileWaiting([this] { m_pump.processPendingEvents(); });
    auto *rows = new DownloadListIcons(LstDownload);
    rows->setSourceModel(&m_update->downloadList());
    LstDownload->setModel(rows);
    LstDownload->header()->setStretchLastSection(false);
    LstDownload->header()->resizeSection(0, twips(5292));
    LstDownload->header()->resizeSection(1, twips(2540));
    // Downloader1: the download control shows its fixed 32 x 32 picture.
    auto *downloaderPicture = new QLabel(Frame2);
    downloaderPicture->setGeometry(twips(1320), twips(360), 32, 32);
    downloaderPicture->setPixmap(Artwork::pixmap(QStringLiteral("downloader"), QSize(32, 32)));
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
    connect(m_update, &UpdateCommand::serverTimedOut, this,
            [this] { showBox(QMessageBox::NoIcon, QStringLiteral("Update"), Lingua(20), this); });
    connect(m_update, &UpdateCommand::newVersionFound, this, [this] {
        frmNewversion &notice = newVersionWindow();
        notice.Label1->setText(Lingua(23));
        notice.show();
    });
    connect(m_update, &UpdateCommand::noteAdded, this, &Form1::showUpdateNotes);
    connect(&m_update->downloadQueue(), &Downloader::warning, this, [this](const QString &text) {
        showBox(QMessageBox::Critical, QStringLiteral("Warning"), text, this);
    });
}

frmNewversion &Form1::newVersionWindow()
{
    if (!m_newVersion) {
        m_newVersion = new frmNewversion(*m_shell, m_paths, this);
    }
    return *m_newVersion;
}

void Form1::showUpdateNotes()
{
    QStringList lines;
    for (const UpdateNote &note : m_update->notes())
        lines.append(updateNoteText(m_texts, note));
    UpdateStatus->setPlainText(lines.join(QLatin1Char('\n')));
}

void Form1::Command7_Click()
{
    Text1->show();
    UpdateStatus->clear();
    UpdateCommand::Outcome outcome;
    {
        WaitingForServer waiting(*this);
        outcome = m_update->check(m_engine->tables());
    }
    if (outcome == UpdateCommand::Outcome::Busy)
        return;
    if (outcome != UpdateCommand::Outcome::Checked) {
        // The panel stays open and says why nothing was updated.
        Text1->hide();
        showUpdateNotes();
        return;
    }
    Timer3->start();
    QString message = m_update->message();
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    message.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Text2->setPlainText(message);
    showUpdateNotes();
    if (m_update->downloadList().rows().isEmpty())
        UpdateStatus->appendPlainText(Lingua(24));
}

void Form1::Timer3_Timer()
{
    if (m_update->installWhenDownloaded([this] { return RestartSystem(); }))
        Timer3->stop();
}

bool Form1::RestartSystem()
{
    DatabaseReloadHooks hooks;
    hooks.processEvents = [this] { m_pump.processPendingEventsNow(); };
    hooks.reloadStarted = [this] {
        lblMessages->setText(Lingua(29));
        Text1->hide();
    };
    hooks.databasesLoaded = [this](const DatabaseTables &tables) { showDatabaseStatus(tables); };
    ReloadResult reloaded =
        reloadDatabases(m_paths, m_engine->tables(), m_update->flags().UpdateInstalled, m_files,
                        *m_progress, hooks);
    // The next scan works with the new databases; the session of the last
    // scan keeps its engine for its removal.
    m_engine = std::move(reloaded.engine);
    if (reloaded.LastUpdateText)
        LastUpdateText = *reloaded.LastUpdateText;
    lblMessages->setText(Lingua(33) + QStringLiteral(": ") +
                         (LastUpdateText.isEmpty() ? Lingua(34) : LastUpdateText));
    lblMessages->setAccessibleDescription(lblMessages->text());
    return reloaded.updDatSaved;
}
