#pragma once

#include "platform/ProgressIndicator.h"

class QProgressBar;

// Drives a window's QProgressBar through the engine's progress interface.
// The range is kept here as well: an empty range (maximum not above minimum)
// shows an empty bar instead of Qt's busy animation and takes no value above
// the minimum.
class ProgressBarIndicator : public ProgressIndicator
{
public:
    explicit ProgressBarIndicator(QProgressBar *bar) : m_bar(bar) {}
    void setMaximum(double value) override;
    void setMinimum(double value) override;
    double maximum() const override { return m_max; }
    double value() const override { return m_value; }
    bool setValue(double value) override;
    void setVisible(bool visible) override;

private:
    void applyRange();

    QProgressBar *m_bar;
    double m_min = 0;
    double m_max = 100;
    double m_value = 0;
};
