#pragma once

class QPainter;
class QWidget;

// The mark a focused picture or button of the window shows: a ring in the
// palette's highlight colour inside the widget's edge, plain to see on any
// picture under light and dark palettes alike.
void paintFocusMark(QPainter &painter, const QWidget &widget);
