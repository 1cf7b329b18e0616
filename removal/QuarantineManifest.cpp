#include "removal/QuarantineManifest.h"

#include <QSet>

namespace {

const QByteArray kHeader = "TORVAKINE-QUARANTINE 1";
constexpr int kFields = 14;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLowerHex(const QByteArray &text, qsizetype length)
{
    if (text.size() != length)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool isDigits(const QByteArray &text, qsizetype maxLength)
{
    if (text.isEmpty() || text.size() > maxLength)
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

QByteArray optionalNumber(const std::optional<quint32> &n)
{
    return n ? QByteArray::number(*n) : QByteArray("-");
}

// Reads "-" (none) or a number into *n; false for anything else.
bool readOptionalNumber(const QByteArray &field, std::optional<quint32> *n)
{
    n->reset();
    if (field == "-")
        return true;
    if (!isDigits(field, 10))
        return false;
    bool ok = false;
    const quint32 value = field.toUInt(&ok);
    if (ok)
        *n = value;
    return ok;
}

std::optional<QDateTime> readTime(const QByteArray &field)
{
    // 2025-01-31T17:04:05Z exactly.
    if (field.size() != 20 || !field.endsWith('Z'))
        return std::nullopt;
    // Date and time read apart: a local time that the clock skips in spring
    // would not be valid.
    if (field[10] != 'T')
        return std::nullopt;
    const QDate date =
        QDate::fromString(QString::fromLatin1(field.left(10)), QStringLiteral("yyyy-MM-dd"));
    const QTime time =
        QTime::fromString(QString::fromLatin1(field.mid(11, 8)), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

std::optional<QuarantineRecord> readRecord(const QByteArray &line)
{
    const QList<QByteArray> f = line.split('\t');
    if (f.size() != kFields)
        return std::nullopt;
    QuarantineRecord r;
    if (!isLowerHex(f[0], 32))
        return std::nullopt;
    r.id = f[0];
    const std::optional<QuarantineRecord::Kind> kind = quarantineKindOfName(f[1]);
    const std::optional<QDateTime> time = readTime(f[2]);
    if (!kind || !time)
        return std::nullopt;
    r.kind = *kind;
    r.time = *time;
    const std::optional<QByteArray> threat = QuarantineManifest::unescapeField(f[3]);
    const std::optional<QByteArray> object = QuarantineManifest::unescapeField(f[4]);
    const std::optional<QByteArray> root = QuarantineManifest::unescapeField(f[5]);
    const std::optional<QByteArray> path = QuarantineManifest::unescapeField(f[6]);
    if (!threat || !object || !root || !path)
        return std::nullopt;
    r.threat = QString::fromUtf8(*threat);
    r.object = QString::fromUtf8(*object);
    r.root = *root;
    r.path = *path;
    if (!readOptionalNumber(f[7], &r.owner) || !readOptionalNumber(f[8], &r.group))
        return std::nullopt;
    if (f[9] != "-") {
        if (f[9].size() > 7 || f[9].isEmpty())
            return std::nullopt;
        bool ok = false;
        const quint32 mode = f[9].toUInt(&ok, 8);
        if (!ok || mode > 07777)
            return std::nullopt;
        r.mode = mode;
    }
    if (f[10] != "-") {
        const qsizetype dot = f[10].indexOf('.');
        const QByteArray seconds = dot < 0 ? QByteArray() : f[10].left(dot);
        const QByteArray nanos = dot < 0 ? QByteArray() : f[10].mid(dot + 1);
        const bool negative = seconds.startsWith('-');
        if (!isDigits(negative ? seconds.mid(1) : seconds, 18) || nanos.size() != 9 ||
            !isDigits(nanos, 9))
            return std::nullopt;
        r.mtimeSeconds = seconds.toLongLong();
        r.mtimeNanoseconds = nanos.toInt();
    }
    if (!isDigits(f[11], 18) || !isLowerHex(f[12], 64) || !isLowerHex(f[13], 64))
        return std::nullopt;
    r.size = f[11].toLongLong();
    r.sha256 = QByteArray::fromHex(f[12]);
    r.key = QByteArray::fromHex(f[13]);
    return r;
}

} // namespace

QByteArray QuarantineManifest::escapeField(const QByteArray &bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || b == '%') {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<QByteArray> QuarantineManifest::unescapeField(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto b = static_cast<unsigned char>(field[i]);
        if (b < 0x20 || b == 0x7F)
            return std::nullopt;
        if (b != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size())
            return std::nullopt;
        const int high = hexDigit(field[i + 1]);
        const int low = hexDigit(field[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += char(high * 16 + low);
        i += 2;
    }
    return out;
}

QByteArray QuarantineManifest::encode(const QList<QuarantineRecord> &records)
{
    QByteArray out = kHeader + "\r\n";
    for (const QuarantineRecord &r : records) {
        QByteArray mtime = "-";
        if (r.mtimeSeconds) {
            mtime = QByteArray::number(*r.mtimeSeconds) + '.' +
                    QByteArray::number(r.mtimeNanoseconds).rightJustified(9, '0');
        }
        const QList<QByteArray> fields = {
            r.id,
            quarantineKindName(r.kind),
            r.time.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1() + 'Z',
            escapeField(r.threat.toUtf8()),
            escapeField(r.object.toUtf8()),
            escapeField(r.root),
            escapeField(r.path),
            optionalNumber(r.owner),
            optionalNumber(r.group),
            r.mode ? '0' + QByteArray::number(*r.mode, 8) : QByteArray("-"),
            mtime,
            QByteArray::number(r.size),
            r.sha256.toHex(),
            r.key.toHex(),
        };
        out += fields.join('\t') + "\r\n";
    }
    return out;
}

QuarantineManifest::Decoded QuarantineManifest::decode(const QByteArray &bytes)
{
    Decoded d;
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.isEmpty() || lines.first() != kHeader) {
        d.unknownFormat = !bytes.isEmpty();
        return d;
    }
    QSet<QByteArray> ids;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        std::optional<QuarantineRecord> record = readRecord(lines[i]);
        if (!record || ids.contains(record->id)) {
            ++d.damagedLines;
            continue;
        }
        ids.insert(record->id);
        d.records.append(std::move(*record));
    }
    return d;
}
