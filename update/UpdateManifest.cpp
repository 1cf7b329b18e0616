#include "update/UpdateManifest.h"

#include <QCryptographicHash>

namespace {
const QByteArray kHeader = "TORVAKINE-MANIFEST 1";
const char *const kDatabaseNames[] = {"cookdb.dat", "trojsig.dat", "regdb.dat"};

bool isKnownDatabase(const QByteArray &name)
{
    for (const char *known : kDatabaseNames) {
        if (name == known)
            return true;
    }
    return false;
}

// Digits only, without a leading zero (but "0" itself), so that a number has
// one written form.
bool isDecimal(const QByteArray &text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits || (text.size() > 1 && text.front() == '0'))
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool isLowerHex(const QByteArray &text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

QByteArray expiryText(const QDateTime &expires)
{
    return expires.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss'Z'")).toLatin1();
}

// The value after "key " on line, or nothing when the line is another key.
std::optional<QByteArray> valueOf(const QByteArray &line, const QByteArray &key)
{
    if (!line.startsWith(key + ' '))
        return std::nullopt;
    return line.mid(key.size() + 1);
}

std::optional<ManifestDatabase> parseDatabase(const QByteArray &value, QString *fault)
{
    // name, size and hash, then the version text up to the end of the line.
    const QList<QByteArray> head = value.split(' ');
    if (head.size() < 4) {
        *fault = QStringLiteral("a database line needs a name, a size, a SHA-256 and a version");
        return std::nullopt;
    }
    ManifestDatabase db;
    if (!isKnownDatabase(head[0])) {
        *fault = QStringLiteral("unknown database \"%1\"").arg(QString::fromLatin1(head[0]));
        return std::nullopt;
    }
    db.fileName = QString::fromLatin1(head[0]);
    bool ok = false;
    db.size = head[1].toLongLong(&ok);
    if (!isDecimal(head[1], 12) || !ok || db.size < 1 ||
        db.size > UpdateManifest::MaximumDatabaseSize) {
        *fault = QStringLiteral("the size of %1 is not a number from 1 to %2")
                     .arg(db.fileName)
                     .arg(UpdateManifest::MaximumDatabaseSize);
        return std::nullopt;
    }
    if (head[2].size() != 64 || !isLowerHex(head[2])) {
        *fault =
            QStringLiteral("the SHA-256 of %1 is not 64 lower-case hex digits").arg(db.fileName);
        return std::nullopt;
    }
    db.sha256 = QByteArray::fromHex(head[2]);
    db.version = value.mid(head[0].size() + head[1].size() + head[2].size() + 3);
    return db;
}
} // namespace

bool ManifestDatabase::matches(const QByteArray &content) const
{
    return content.size() == size &&
           QCryptographicHash::hash(content, QCryptographicHash::Sha256) == sha256;
}

const ManifestDatabase *UpdateManifest::database(const QString &fileName) const
{
    for (const ManifestDatabase &db : databases) {
        if (db.fileName == fileName)
            return &db;
    }
    return nullptr;
}

QByteArray UpdateManifest::toBytes() const
{
    QByteArray out = kHeader + "\r\n";
    out += "sequence " + QByteArray::number(sequence) + "\r\n";
    out += "expires " + expiryText(expires) + "\r\n";
    out += "build-stamp " + buildStamp + "\r\n";
    for (const ManifestDatabase &db : databases)
        out += "database " + db.fileName.toLatin1() + ' ' + QByteArray::number(db.size) + ' ' +
               db.sha256.toHex() + ' ' + db.version + "\r\n";
    return out;
}

std::optional<UpdateManifest> UpdateManifest::parse(const QByteArray &bytes, QString *fault)
{
    QString ignored;
    QString &why = fault ? *fault : ignored;
    if (bytes.size() > MaximumSize) {
        why = QStringLiteral("larger than %1 bytes").arg(MaximumSize);
        return std::nullopt;
    }
    if (!bytes.endsWith("\r\n")) {
        why = QStringLiteral("does not end with CR LF");
        return std::nullopt;
    }
    // Every line but the last still ends with its CR once split at LF.
    QList<QByteArray> lines = bytes.chopped(2).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i + 1 < lines.size()) {
            if (!lines[i].endsWith('\r')) {
                why = QStringLiteral("a line ends with LF alone");
                return std::nullopt;
            }
            lines[i].chop(1);
        }
        if (lines[i].contains('\r')) {
            why = QStringLiteral("a line holds a lone CR");
            return std::nullopt;
        }
    }
    if (lines.size() < 5 || lines.size() > 7 || lines[0] != kHeader) {
        why = QStringLiteral("not a manifest of this format");
        return std::nullopt;
    }
    UpdateManifest m;
    const auto sequence = valueOf(lines[1], "sequence");
    bool ok = false;
    if (sequence) {
        m.sequence = sequence->toULongLong(&ok);
    }
    if (!sequence || !isDecimal(*sequence, 20) || !ok) {
        why = QStringLiteral("no valid sequence line");
        return std::nullopt;
    }
    const auto expires = valueOf(lines[2], "expires");
    if (expires) {
        m.expires = QDateTime::fromString(QString::fromLatin1(*expires), Qt::ISODate);
    }
    if (!expires || !m.expires.isValid() || expiryText(m.expires) != *expires) {
        why = QStringLiteral("no valid expires line");
        return std::nullopt;
    }
    m.expires = m.expires.toUTC();
    const auto stamp = valueOf(lines[3], "build-stamp");
    if (!stamp) {
        why = QStringLiteral("no build-stamp line");
        return std::nullopt;
    }
    m.buildStamp = *stamp;
    for (qsizetype i = 4; i < lines.size(); ++i) {
        const auto value = valueOf(lines[i], "database");
        if (!value) {
            why = QStringLiteral("line %1 is not a database line").arg(i + 1);
            return std::nullopt;
        }
        const std::optional<ManifestDatabase> db = parseDatabase(*value, &why);
        if (!db)
            return std::nullopt;
        if (m.database(db->fileName)) {
            why = QStringLiteral("%1 is listed twice").arg(db->fileName);
            return std::nullopt;
        }
        m.databases.append(*db);
    }
    return m;
}
