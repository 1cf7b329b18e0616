#pragma once

#include <QLabel>

// A picture that reports clicks, like the image controls of the main window.
class ImageControl : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
