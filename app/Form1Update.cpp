// The main window's Updates panel: the update command, the download list,
// Timer3 and the reload of the databases after an update.
#include "app/Artwork.h"
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/ProgressBarIndicator.h"
#include "update/DatabaseReload.h"
#include "update/UpdateCommand.h"
#include "update/widgets/DesktopShellOpen.h"
#include "update/widgets/frmNewversion.h"

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
} // namespace

void Form1::buildUpdatesPanel()
{
    Frame2 = new QGroupBox(QStringLiteral("Updates"), this);
    Frame2->setGeometry(twips(1440), twips(960), twips(7815), twips(5895));
    Frame2->setAutoFillBackground(true);
    Frame2->hide();

    Command7 = new QPushButton(Frame2);
    Command7->setGeometry(twips(240), twips(360), twips(975), twips(855));
    const QSize command7Picture = Command7->size() - QSize(6, 6);
    Command7->setIcon(QIcon(Artwork::pixmap(QStringLiteral("btn_update"), command7Picture)));
    Command7->setIconSize(command7Picture);
    Text1 = new QLineEdit(QStringLiteral("Connecting...."), Frame2);
    Text1->setGeometry(twips(1320), twips(840), twips(1095), twips(375));
    Text1->setReadOnly(true);
    Text1->hide();
    LstDownload = new QTreeView(Frame2);
    LstDownload->setGeometry(twips(240), twips(1320), twips(7335), twips(3135));
    LstDownload->setRootIsDecorated(false);
    Frame3 = new QGroupBox(QStringLiteral("Message"), Frame2);
    Frame3->setGeometry(twips(240), twips(4560), twips(7335), twips(1095));
    Text2 = new QPlainTextEdit(Frame3);
    Text2->setGeometry(twips(120), twips(240), twips(7095), twips(735));
    Text2->setReadOnly(true);
    Timer3 = new QTimer(this);
    Timer3->setInterval(500);

    m_update = new UpdateCommand(m_paths, this);
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
    connect(m_update, &UpdateCommand::serverTimedOut, this, [this] {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Update"), Lingua(20), QMessageBox::Ok,
                        this);
        box.exec();
    });
    connect(m_update, &UpdateCommand::newVersionFound, this, [this] {
        frmNewversion &notice = newVersionWindow();
        notice.Label1->setText(Lingua(23));
        notice.show();
    });
    connect(&m_update->Downloader1(), &Downloader::warning, this, [this](const QString &text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Warning"), text, QMessageBox::Ok,
                        this);
        box.exec();
    });
}

frmNewversion &Form1::newVersionWindow()
{
    if (!m_newVersion) {
        m_shell = std::make_unique<DesktopShellOpen>();
        m_newVersion = new frmNewversion(*m_shell, m_paths, this);
    }
    return *m_newVersion;
}

void Form1::Command7_Click()
{
    Text1->show();
    if (m_update->Command7(m_engine->tables()) == UpdateCommand::Outcome::ServerUnreachable) {
        Image4->setPixmap(Image7->pixmap());
        ActivePanel = 0;
        Frame2->hide();
        Text1->hide();
        return;
    }
    Timer3->start();
    QString message = m_update->message();
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    message.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Text2->setPlainText(message);
}

void Form1::Timer3_Timer()
{
    if (m_update->Timer3_Timer([this] { RestartSystem(); }))
        Timer3->stop();
}

void Form1::RestartSystem()
{
    DatabaseReloadHooks hooks;
    hooks.processEvents = [this] { m_pump.processPendingEventsNow(); };
    hooks.reloadStarted = [this] {
        lblMessages->setText(Lingua(29));
        Text1->hide();
    };
    hooks.databasesLoaded = [this](const DatabaseTables &tables) { showDatabaseStatus(tables); };
    ReloadResult reloaded = reloadDatabases(m_paths, m_engine->tables(),
                                            m_update->flags().UpdateInstalled, *m_progress, hooks);
    // The next scan works with the new databases; the session of the last
    // scan keeps its engine for its removal.
    m_engine = std::move(reloaded.engine);
    if (reloaded.LastUpdateText)
        LastUpdateText = *reloaded.LastUpdateText;
    lblMessages->setText(Lingua(33) + QStringLiteral(": ") +
                         (LastUpdateText.isEmpty() ? Lingua(34) : LastUpdateText));
}
