// The main window's language texts and the six language buttons.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/ResultRowMarks.h"
#include "language/LanguageFile.h"
#include "language/LanguageSwitch.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

void Form1::LoadLingua()
{
    readCurrentLanguage(m_paths, m_texts);
    Label3->setText(Lingua(26));
    showLastUpdateLine();
}

void Form1::AssociaStringhe()
{
    Command1->setToolTip(Lingua(1));
    Image1->setToolTip(Lingua(1));
    Command2->setToolTip(Lingua(2));
    Image3->setToolTip(Lingua(3));
    Check1->setText(Lingua(4));
    Command4->setToolTip(Lingua(10));
    Command6->setToolTip(Lingua(12));
    Command5->setToolTip(Lingua(17));
    Command7->setToolTip(Lingua(18));
    Image4->setToolTip(Lingua(18));
    Image11->setToolTip(Lingua(QuarantinePanelText));
    Command9->setToolTip(Lingua(QuarantineRestoreText));
    Command10->setToolTip(Lingua(QuarantineDeleteText));
    Label11->setText(Lingua(QuarantineSpaceText));
    // The window's own additions.
    OpenReport->setText(Lingua(OpenReportText));
    describeControls();
    m_resultMarks->languageChanged();
}

void Form1::Command8_Click(int Index)
{
    // A switch that could not be saved leaves lang.dat, and so the texts
    // read back from it, in the old language.
    installLanguage(m_paths, Index, m_files);
    LoadLingua();
    AssociaStringhe();
}
