#include "app/FocusMark.h"

#include <QPainter>
#include <QWidget>

void paintFocusMark(QPainter &painter, const QWidget &widget)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    // A highlight ring with a thin line of the highlighted-text colour inside
    // it, so that the ring stands out also on a picture of its own colour.
    const QRect outer = widget.rect().adjusted(1, 1, -2, -2);
    painter.setPen(QPen(widget.palette().color(QPalette::Highlight), 2));
    painter.drawRect(outer.adjusted(0, 0, 0, 0));
    painter.setPen(QPen(widget.palette().color(QPalette::HighlightedText), 1));
    painter.drawRect(outer.adjusted(2, 2, -2, -2));
    painter.restore();
}
