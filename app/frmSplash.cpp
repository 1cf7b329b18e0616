#include "app/frmSplash.h"

#include "app/Artwork.h"
#include "app/ProgressBarIndicator.h"
#include "app/WindowPlacement.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "language/LanguageTexts.h"

#include <QLabel>
#include <QProgressBar>

frmSplash::frmSplash(AppPaths paths, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint), m_paths(std::move(paths))
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Loading Database..."));
    setFixedSize(400, 240);
    Picture1 = new QLabel(this);
    Picture1->setGeometry(0, 0, 400, 216);
    Picture1->setPixmap(Artwork::pixmap(QStringLiteral("splash"), QSize(400, 216)));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setGeometry(8, 220, 384, 14);
    ProgressBar1->setTextVisible(false);
    centreOnScreen(*this);
}

bool frmSplash::Form_Activate()
{
    if (m_check && !m_check()) {
        close();
        return false;
    }
    m_pump.processPendingEventsNow();
    LoadLingua();
    ProgressBarIndicator bar(ProgressBar1);
    DatabaseTables tables;
    LoadDatabases(m_paths, tables, bar);
    close();
    if (m_afterLoad)
        m_afterLoad(std::move(tables));
    return true;
}

void frmSplash::LoadLingua()
{
    // The loading window shows no text; reading the language here finds a
    // damaged lang.dat before the main window reads it again.
    LanguageTexts texts;
    readCurrentLanguage(m_paths, texts);
}
