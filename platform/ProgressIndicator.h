#pragma once

// A progress bar the engine drives: the loading window's and the main
// window's bars, the command-line tool's terminal line, or nothing at all.
class ProgressIndicator
{
public:
    virtual ~ProgressIndicator() = default;
    virtual void setMaximum(double value) = 0;
    virtual void setMinimum(double value) = 0;
    virtual double maximum() const = 0;
    virtual double value() const = 0;
    // Returns false, leaving the bar as it was, for a value outside the range.
    virtual bool setValue(double value) = 0;
    virtual void setVisible(bool visible) = 0;
};

// Keeps the numbers and shows nothing.
class SilentProgress : public ProgressIndicator
{
public:
    void setMaximum(double value) override { m_max = value; }
    void setMinimum(double value) override { m_min = value; }
    double maximum() const override { return m_max; }
    double value() const override { return m_value; }
    bool setValue(double value) override
    {
        if (value < m_min || value > m_max)
            return false;
        m_value = value;
        return true;
    }
    void setVisible(bool visible) override { m_visible = visible; }
    bool isVisible() const { return m_visible; }

private:
    double m_min = 0;
    double m_max = 100;
    double m_value = 0;
    bool m_visible = false;
};
