#include "app/ProgressBarIndicator.h"

#include <QProgressBar>

#include <algorithm>
#include <limits>

namespace {
int toInt(double v)
{
    return int(std::clamp(v, 0.0, double(std::numeric_limits<int>::max())));
}
} // namespace

void ProgressBarIndicator::setMaximum(double value)
{
    m_max = value;
    applyRange();
}

void ProgressBarIndicator::setMinimum(double value)
{
    m_min = value;
    applyRange();
}

bool ProgressBarIndicator::setValue(double value)
{
    if (value < m_min || value > m_max)
        return false;
    m_value = value;
    m_bar->setValue(toInt(value));
    return true;
}

void ProgressBarIndicator::setVisible(bool visible)
{
    m_bar->setVisible(visible);
}

void ProgressBarIndicator::applyRange()
{
    m_value = std::clamp(m_value, m_min, std::max(m_min, m_max));
    m_bar->setRange(toInt(m_min), std::max(toInt(m_max), toInt(m_min) + 1));
    m_bar->setValue(toInt(m_value));
}
