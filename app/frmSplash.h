#pragma once

#include "databases/DatabaseTables.h"
#include "platform/AppPaths.h"
#include "platform/EventPump.h"

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;

// The loading window, shown while the language file and the databases load.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(AppPaths paths, QWidget *parent = nullptr);

    // The start-up work, run once the window is on screen: the
    // single-instance check, the language and the databases.  afterLoad is
    // called with the loaded tables, the loading window already closed.
    void setSingleInstanceCheck(std::function<bool()> check) { m_check = std::move(check); }
    void setAfterLoad(std::function<void(DatabaseTables)> afterLoad)
    {
        m_afterLoad = std::move(afterLoad);
    }
    // Returns false when the check refused the start: the window is closed,
    // nothing was read, and the caller ends the program at once.
    bool Form_Activate();
    void LoadLingua();

    QLabel *Picture1 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;

private:
    AppPaths m_paths;
    EventPump m_pump;
    std::function<bool()> m_check;
    std::function<void(DatabaseTables)> m_afterLoad;
};
