#pragma once

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
class UpdateCommand;
class frmNewversion;

// The main window.  Controls keep their designer names and are public so
// that the window's tests can drive them as a user would.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: caption, language, status labels, folders, token expansion.
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

    // Scan and removal.
    void Command1_Click();
    void Command6_Click();

    // Updates.
    void Command7_Click();
    void Timer3_Timer();
    void RestartSystem();
    UpdateCommand &updateCommand() { return *m_update; }
    // The new-version notice, created the first time it is needed.
    frmNewversion &newVersionWindow();

    // Shows, for each database, its "OK" or its "ERR" label.
    void showDatabaseStatus();
    // The last-update line: Lingua(33), ": ", then LastUpdateText or Lingua(34).
    void showLastUpdateLine();

    ProgressBarIndicator &progressIndicator() { return *m_progress; }
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
    QLineEdit *Text6 = nullptr;

    // Updates panel.
    QGroupBox *Frame2 = nullptr;
    QPushButton *Command7 = nullptr;
    QLineEdit *Text1 = nullptr;
    QTreeView *LstDownload = nullptr;
    QGroupBox *Frame3 = nullptr;
    QPlainTextEdit *Text2 = nullptr;
    QTimer *Timer3 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void buildScanPanel();
    void buildUpdatesPanel();
    void Form_Unload();

    std::unique_ptr<ProgressBarIndicator> m_progress;
    std::function<qint64()> m_tickSource;
    UpdateCommand *m_update = nullptr;     // child of the window
    frmNewversion *m_newVersion = nullptr; // child of the window, made on first use
};

// Converts a layout length in twips to pixels at 96 dots per inch.
constexpr int twips(int t)
{
    return t / 15;
}
