#pragma once

#include <QLabel>

// A picture that reports clicks, like the image controls of the main window.
// A picture the user works with (setActivatable) takes the keyboard focus,
// shows the focus mark, and Enter, Return and Space click it.
class ImageControl : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    void setActivatable(bool activatable);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
