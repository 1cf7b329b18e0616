#pragma once

#include <QPushButton>

// A push button of the main window: Enter and Return press it as Space does,
// and it shows the focus mark while it has the keyboard focus.
class FocusButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
