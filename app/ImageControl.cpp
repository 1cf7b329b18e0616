#include "app/ImageControl.h"

#include "app/FocusMark.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

void ImageControl::setActivatable(bool activatable)
{
    setFocusPolicy(activatable ? Qt::StrongFocus : Qt::NoFocus);
}

void ImageControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (isEnabled() && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ImageControl::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (focusPolicy() != Qt::NoFocus && event->modifiers() == Qt::NoModifier &&
        (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        if (!event->isAutoRepeat() && isEnabled())
            emit clicked();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

void ImageControl::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        paintFocusMark(painter, *this);
    }
}
