#include "tests/support/BoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

BoxAnswerer::BoxAnswerer(QStringList answers) : m_answers(std::move(answers))
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::look);
    m_timer.start();
}

void BoxAnswerer::look()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->buttons().isEmpty())
        return;
    shown.append(box->windowTitle() + QLatin1Char('|') + box->text());
    QAbstractButton *answer = box->buttons().constFirst();
    if (!m_answers.isEmpty()) {
        const QString wanted = m_answers.takeFirst();
        for (QAbstractButton *b : box->buttons()) {
            if (b->text() == wanted)
                answer = b;
        }
    }
    answer->click();
}
