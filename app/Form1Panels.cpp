// The main window's panel switching, navigation images, hover look of the scan
// button, stop command, timers and the end of the program.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/ProgressBarIndicator.h"
#include "scanner/ScanSession.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

namespace {

void takePicture(ImageControl *to, const ImageControl *from)
{
    to->setPixmap(from->pixmap());
}

void openPanel(Form1 &w, ImageControl *nav, ImageControl *selected, QGroupBox *frame)
{
    takePicture(w.Image7, nav);
    takePicture(nav, selected);
    frame->show();
    frame->raise();
}

void closePanel(Form1 &w, ImageControl *nav, QGroupBox *frame)
{
    takePicture(nav, w.Image7);
    frame->hide();
}
} // namespace

void Form1::Image1_Click()
{
    quint8 &panel = ActivePanel;
    switch (panel) {
    case 3:
        closePanel(*this, Image11, Frame4);
        panel = 1;
        openPanel(*this, Image1, Image5, Frame1);
        break;
    case 0:
        panel = 1;
        openPanel(*this, Image1, Image5, Frame1);
        break;
    case 1:
        closePanel(*this, Image1, Frame1);
        panel = 0;
        break;
    case 2:
        closePanel(*this, Image4, Frame2);
        panel = 1;
        openPanel(*this, Image1, Image5, Frame1);
        break;
    }
}

void Form1::Image4_Click()
{
    quint8 &panel = ActivePanel;
    switch (panel) {
    case 3:
        closePanel(*this, Image11, Frame4);
        panel = 2;
        openPanel(*this, Image4, Image2, Frame2);
        break;
    case 0:
        panel = 2;
        openPanel(*this, Image4, Image2, Frame2);
        break;
    case 1:
        closePanel(*this, Image1, Frame1);
        panel = 2;
        openPanel(*this, Image4, Image2, Frame2);
        break;
    case 2:
        closePanel(*this, Image4, Frame2);
        panel = 0;
        break;
    }
}

void Form1::Image11_Click()
{
    quint8 &panel = ActivePanel;
    switch (panel) {
    case 1:
        closePanel(*this, Image1, Frame1);
        break;
    case 2:
        closePanel(*this, Image4, Frame2);
        break;
    case 3:
        closePanel(*this, Image11, Frame4);
        panel = 0;
        return;
    }
    panel = 3;
    showQuarantine();
    openPanel(*this, Image11, Image12, Frame4);
}

void Form1::Image3_Click()
{
    takePicture(Image7, Image3);
    takePicture(Image3, Image6);
    m_pump.processPendingEventsNow();
    QApplication::closeAllWindows();
    close();
}

void Form1::Command1_MouseMove()
{
    Command1->setIcon(QIcon(Image8->pixmap()));
}

void Form1::Frame1_MouseMove()
{
    Command1->setIcon(QIcon(Image9->pixmap()));
}

void Form1::Command2_Click()
{
    m_session->requestStop();
    m_progress->setValue(0);
}

void Form1::Command4_Click()
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 2000) {
        m_pump.processPendingEvents();
        QThread::msleep(5);
    }
}

void Form1::Command5_Click() {}

void Form1::Timer1_Timer()
{
    QThread::msleep(1);
}

void Form1::Timer2_Timer()
{
    // The current item on one line, shortened in the middle when too long.
    const ScanState &s = m_session->state();
    const auto show = [this](const QString &item) {
        Text6->setText(Text6->fontMetrics().elidedText(
            item, Qt::ElideMiddle, Text6->contentsRect().width() - 2 * Text6->margin()));
    };
    if (s.RegistryScanActive)
        show(s.CurrentRegistryEntry);
    if (s.FileScanActive)
        show(s.CurrentFilePath);
}
