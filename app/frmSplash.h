#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;

// The loading window, shown while the language file and the databases load.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    // Runs the start-up work once the window is on screen.  afterLoad is
    // called with the loading window already closed.
    void setAfterLoad(std::function<void()> afterLoad) { m_afterLoad = std::move(afterLoad); }
    void Form_Activate();
    void LoadLingua();

    QLabel *Picture1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::function<void()> m_afterLoad;
    bool m_activated = false;
};
