#include "removal/CookieLineFilter.h"

#include <algorithm>
#include <cstring>

CookieLineFilter::CookieLineFilter(QByteArray cookieLine, Sink sink)
    : m_cookieLine(std::move(cookieLine)), m_sink(std::move(sink))
{
}

bool CookieLineFilter::pass(const char *data, qint64 size)
{
    if (!m_failed && size > 0 && !m_sink(data, size))
        m_failed = true;
    return !m_failed;
}

bool CookieLineFilter::feed(const char *data, qint64 size)
{
    // A held line longer than this is neither the cookie line nor a lone LF.
    const qsizetype mostHeld = std::max<qsizetype>(m_cookieLine.size(), 1);
    while (size > 0 && !m_failed) {
        const auto *lf = static_cast<const char *>(std::memchr(data, '\n', size_t(size)));
        const qint64 take = lf ? lf - data + 1 : size;
        if (m_passing) {
            pass(data, take);
        } else {
            m_pending.append(data, take);
            if (lf) {
                if (m_pending == m_cookieLine)
                    ++m_cookieLinesLeftOut;
                else if (m_pending.size() != 1)
                    pass(m_pending.constData(), m_pending.size());
                m_pending.clear();
            } else if (m_pending.size() > mostHeld) {
                pass(m_pending.constData(), m_pending.size());
                m_pending.clear();
                m_passing = true;
            }
        }
        if (lf)
            m_passing = false;
        data += take;
        size -= take;
    }
    return !m_failed;
}

bool CookieLineFilter::finish()
{
    pass(m_pending.constData(), m_pending.size());
    m_pending.clear();
    return !m_failed;
}
