#pragma once

#include <QByteArray>

#include <functional>

// The byte rules of a cookie file's rewrite, applied while the file streams
// through: every line (up to and including its LF) that is exactly the cookie
// line, and every line that is a lone LF, is left out; every other byte goes
// to the sink unchanged, a last line without LF included.  Only a line that
// may still turn out to be left out is held back, so memory stays bounded by
// the cookie line's length, whatever the file's lines.
class CookieLineFilter
{
public:
    // The sink returns false when it could not take the bytes.
    using Sink = std::function<bool(const char *data, qint64 size)>;

    CookieLineFilter(QByteArray cookieLine, Sink sink);

    // The next bytes of the file; false once the sink failed.
    bool feed(const char *data, qint64 size);
    // The end of the file: passes on a last line without LF.
    bool finish();
    // How many lines equal to the cookie line were left out.
    qint64 cookieLinesLeftOut() const { return m_cookieLinesLeftOut; }

private:
    bool pass(const char *data, qint64 size);

    QByteArray m_cookieLine;
    Sink m_sink;
    QByteArray m_pending;
    // Inside a line too long to be left out: its bytes go straight through.
    bool m_passing = false;
    bool m_failed = false;
    qint64 m_cookieLinesLeftOut = 0;
};
