#pragma once

#include "databases/DatabaseTables.h"
#include "language/LanguageTexts.h"
#include "platform/AppPaths.h"
#include "platform/DiskFileWriter.h"
#include "platform/EventPump.h"
#include "scanner/Engine.h"
#include "update/UpdateSettings.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeView;
class ImageControl;
class ProgressBarIndicator;
class QStandardItemModel;
class QuarantineListModel;
class QuarantineStore;
class ResultRowMarks;
class ShellOpen;
class ScanSession;
class UpdateCommand;
class frmNewversion;

// The main window.  Controls keep their designer names and are public so
// that the window's tests can drive them as a user would.  The window owns
// the engine of the loaded databases and the session of its last scan, which
// the list view shows and the removal works on.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // The window of the application folder paths over the tables the loading
    // window has loaded; its updates talk to the server as updateSettings say.
    Form1(AppPaths paths, DatabaseTables loaded, UpdateSettings updateSettings = {},
          QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: caption, language, status labels, token expansion, the engine.
    void Form_Load();

    // Language.
    void LoadLingua();
    void AssociaStringhe();
    void Command8_Click(int Index);

    // Panels and the end of the program.
    void Image1_Click();
    void Image4_Click();
    void Image3_Click();
    void Command1_MouseMove();
    void Frame1_MouseMove();
    void Command2_Click();
    void Command4_Click();
    void Command5_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    // Scan and removal.  The scan warns first when a database it needs is
    // missing.  The removal takes the selected rows (every row when none is
    // selected) after a confirmation, leaves the rows it could not remove in
    // the list, marked, and then says what it did.
    void Command1_Click();
    void Command6_Click();
    // Hands the last scan's report to the desktop's program for text files.
    void openReport();
    // Adds an entry (a drive's root path and label) to the drive list, shown
    // shortened in the middle when it is too long, whole in its tooltip.
    void addDriveEntry(const QString &entry);
    // The current entry of the drive list, whole.
    QString currentDriveEntry() const;

    // Quarantine panel: open or close it; restore or delete for good the
    // selected items; the item list and the space used read afresh.
    void Image11_Click();
    void Command9_Click();
    void Command10_Click();
    void showQuarantine();
    // The result list's "Always allow" on row (counted from 0): an object
    // rule for its object goes into the allow list and the row leaves the
    // list.
    void alwaysAllowRow(int row);

    // Updates.  While the update waits for the server the window shows a busy
    // cursor, stays painted and takes no clicks or keys.
    void Command7_Click();
    void Timer3_Timer();
    // Returns false when upd.dat could not be written.
    bool RestartSystem();
    UpdateCommand &updateCommand() { return *m_update; }
    // The new-version notice, created the first time it is needed.
    frmNewversion &newVersionWindow();

    // Shows, for each database, its "OK" or its "ERR" label.
    void showDatabaseStatus(const DatabaseTables &tables);
    // The last-update line: Lingua(33), ": ", then LastUpdateText or Lingua(34);
    // its tooltip names the data folder, where the program writes.
    void showLastUpdateLine();

    // The desktop's open request; tests put a fake in its place before they
    // use the window.
    void setShellOpen(std::unique_ptr<ShellOpen> shell);

    ProgressBarIndicator &progressIndicator() { return *m_progress; }
    const AppPaths &paths() const { return m_paths; }
    const Engine &engine() const { return *m_engine; }
    // The session of the last scan (an empty one before the first scan).
    ScanSession &scanSession() { return *m_session; }
    QString Lingua(int n) const { return m_texts.Lingua(n); }

    // Which panel is open: 0 none, 1 Scan, 2 Updates, 3 Quarantine.
    quint8 ActivePanel = 0;
    // The first line of upd.dat, or empty.
    QString LastUpdateText;
    // The millisecond clock the scan command measures with; tests set their own.
    void setTickSource(std::function<qint64()> ticks) { m_tickSource = std::move(ticks); }

    // Window level.
    std::array<QPushButton *, 6> Command8{};
    QLabel *lblMessages = nullptr;
    ImageControl *Image1 = nullptr;
    ImageControl *Image2 = nullptr;
    ImageControl *Image3 = nullptr;
    ImageControl *Image4 = nullptr;
    ImageControl *Image5 = nullptr;
    ImageControl *Image6 = nullptr;
    ImageControl *Image7 = nullptr;
    ImageControl *Image8 = nullptr;
    ImageControl *Image9 = nullptr;
    ImageControl *Image10 = nullptr;
    ImageControl *Image11 = nullptr; // the Quarantine panel's picture
    ImageControl *Image12 = nullptr; // holds the selected picture of Image11
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;

    // Scan panel.
    QGroupBox *Frame1 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command6 = nullptr;
    QCheckBox *Check1 = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *Drive1 = nullptr;
    QTreeView *ListView1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    // The current item during a scan, the summary after it; up to two lines.
    QLabel *Text6 = nullptr;
    // Opens the last scan's report.
    QPushButton *OpenReport = nullptr;

    // Updates panel.
    QGroupBox *Frame2 = nullptr;
    QPushButton *Command7 = nullptr;
    QLineEdit *Text1 = nullptr;
    QTreeView *LstDownload = nullptr;
    QGroupBox *Frame3 = nullptr;
    QPlainTextEdit *Text2 = nullptr;
    QTimer *Timer3 = nullptr;
    // What the program itself says of the last update: the server could not
    // be reached, the databases are up to date, or why a download or the
    // whole update was refused, one line each.
    QPlainTextEdit *UpdateStatus = nullptr;

    // Quarantine panel.
    QGroupBox *Frame4 = nullptr;
    QPushButton *Command9 = nullptr;  // restore
    QPushButton *Command10 = nullptr; // delete for good
    QLabel *Label11 = nullptr;        // the space the quarantine uses
    QTreeView *ListView2 = nullptr;
    QLineEdit *Text7 = nullptr; // what a restore could not do

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void buildScanPanel();
    void buildUpdatesPanel(UpdateSettings settings);
    // Keyboard order, and text colours on the fixed light surfaces.
    void setTabOrder();
    void setFixedTextColours();
    // Accessible names and descriptions in the current language.
    void describeControls();
    // Object names, fixed in every language.
    void nameControls();
    // The summary line, and what it tells assistive technology.
    void showSummary(const QString &text);
    // Whether the last scan left a report to open.
    void updateOpenReport();
    // The rows the removal takes: the selected ones, or all (from 1, ascending).
    QList<qsizetype> rowsToRemove() const;
    // Shortens the drive entries to the list's width.
    void elideDriveEntries();
    void showUpdateNotes();
    void buildQuarantinePanel();
    QList<QByteArray> selectedQuarantineIds() const;
    // The quarantine, held while the object lives; null, with the message for
    // the user in *problem, when it cannot be used now.
    std::unique_ptr<QuarantineStore> openQuarantine(bool create, QString *problem);
    void Form_Unload();
    void startSession();
    // Tells the user when the session's report could not be written.
    void reportWriteFailure();

    AppPaths m_paths;
    DatabaseTables m_loaded; // until Form_Load builds the engine from them
    EngineHandle m_engine;
    LanguageTexts m_texts;
    EventPump m_pump;
    std::unique_ptr<ScanSession> m_session;
    std::unique_ptr<ProgressBarIndicator> m_progress;
    std::function<qint64()> m_tickSource;
    DiskFileWriter m_files;
    UpdateCommand *m_update = nullptr; // child of the window
    std::unique_ptr<ShellOpen> m_shell;
    ResultRowMarks *m_resultMarks = nullptr;         // child of the window
    frmNewversion *m_newVersion = nullptr;           // child of the window, made on first use
    QuarantineListModel *m_quarantineList = nullptr; // child of the window
};

// Converts a layout length in twips to pixels at 96 dots per inch.
constexpr int twips(int t)
{
    return t / 15;
}
