#include "app/frmSplash.h"

#include "app/Artwork.h"
#include "app/ModAvvio.h"
#include "app/ProgressBarIndicator.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "platform/EventPump.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

frmSplash::frmSplash(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint)
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
}

void frmSplash::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, &frmSplash::Form_Activate);
    }
}

void frmSplash::Form_Activate()
{
    if (!CheckSingleInstance()) {
        close();
        QCoreApplication::quit();
        return;
    }
    EventPump::processPendingEventsNow();
    LoadLingua();
    ProgressBarIndicator bar(ProgressBar1);
    LoadDatabases(bar);
    close();
    if (m_afterLoad)
        m_afterLoad();
}

void frmSplash::LoadLingua()
{
    readCurrentLanguage();
}
