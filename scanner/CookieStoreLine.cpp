#include "scanner/CookieStoreLine.h"

namespace {

// Seconds from 1601-01-01 to 1970-01-01, both UTC.
constexpr qint64 kSeconds1601To1970 = 11644473600;

qint64 floorDivide(qint64 a, qint64 b)
{
    const qint64 quotient = a / b;
    return (a % b != 0 && a < 0) ? quotient - 1 : quotient;
}

QByteArrayView truth(bool value)
{
    return value ? QByteArrayView("TRUE") : QByteArrayView("FALSE");
}

} // namespace

qint64 unixExpiry(qint64 stored, CookieExpiryUnit unit)
{
    switch (unit) {
    case CookieExpiryUnit::UnixSeconds:
        return stored;
    case CookieExpiryUnit::UnixMilliseconds:
        return floorDivide(stored, 1000);
    case CookieExpiryUnit::MicrosecondsSince1601:
        return stored == 0 ? 0 : floorDivide(stored, 1000000) - kSeconds1601To1970;
    }
    return stored;
}

void buildCookieStoreLine(const CookieStoreRow &row, QByteArray &line)
{
    line.resize(0); // keeps the buffer for the next row
    line.append(row.host)
        .append('\t')
        .append(truth(row.host.startsWith('.')))
        .append('\t')
        .append(row.path)
        .append('\t')
        .append(truth(row.secure))
        .append('\t')
        .append(QByteArray::number(row.expiry))
        .append('\t')
        .append(row.name)
        .append('\t')
        .append(row.value)
        .append('\n');
}
