#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

// Answers the message boxes a window shows while a test drives it: each box
// that comes up is recorded ("title|text") and answered with the next button
// text of the list given (the box's first button when the list runs out).
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QStringList answers = {});

    QStringList shown;

private:
    void look();

    QStringList m_answers;
    QTimer m_timer;
};
