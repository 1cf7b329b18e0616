// The main window's Updates panel.
#include "app/Form1.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

void Form1::buildUpdatesPanel()
{
    Frame2 = new QGroupBox(QStringLiteral("Updates"), this);
    Frame2->setGeometry(twips(1440), twips(960), twips(7815), twips(5895));
    Frame2->setAutoFillBackground(true);
    Frame2->hide();

    Command7 = new QPushButton(Frame2);
    Command7->setGeometry(twips(240), twips(360), twips(975), twips(855));
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
}
