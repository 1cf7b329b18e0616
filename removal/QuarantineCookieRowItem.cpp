#include "removal/QuarantineCookieRowItem.h"

#include "removal/QuarantineManifest.h"

#include <cstring>

namespace {

const QByteArray kHeader = "TORVAKINE-COOKIE-ROW 1";

struct TypeName {
    CookieStoreCell::Type type;
    const char *name;
};

constexpr TypeName kTypeNames[] = {
    {CookieStoreCell::Type::Null, "null"}, {CookieStoreCell::Type::Integer, "integer"},
    {CookieStoreCell::Type::Real, "real"}, {CookieStoreCell::Type::Text, "text"},
    {CookieStoreCell::Type::Blob, "blob"},
};

QByteArray cellValue(const CookieStoreCell &cell)
{
    switch (cell.type) {
    case CookieStoreCell::Type::Null:
        return "-";
    case CookieStoreCell::Type::Integer:
        return QByteArray::number(cell.integer);
    case CookieStoreCell::Type::Real: {
        quint64 bits = 0;
        std::memcpy(&bits, &cell.real, sizeof bits);
        return QByteArray::number(bits, 16).rightJustified(16, '0');
    }
    case CookieStoreCell::Type::Text:
        return QuarantineManifest::escapeField(cell.bytes);
    case CookieStoreCell::Type::Blob:
        return cell.bytes.toHex();
    }
    return {};
}

std::optional<CookieStoreCell> readCell(const QList<QByteArray> &f)
{
    if (f.size() != 4 || f[0] != "cell")
        return std::nullopt;
    CookieStoreCell cell;
    const std::optional<QByteArray> column = QuarantineManifest::unescapeField(f[1]);
    if (!column)
        return std::nullopt;
    cell.column = *column;
    bool known = false;
    for (const TypeName &t : kTypeNames) {
        if (f[2] == t.name) {
            cell.type = t.type;
            known = true;
        }
    }
    if (!known)
        return std::nullopt;
    bool ok = true;
    switch (cell.type) {
    case CookieStoreCell::Type::Null:
        ok = f[3] == "-";
        break;
    case CookieStoreCell::Type::Integer:
        cell.integer = f[3].toLongLong(&ok);
        break;
    case CookieStoreCell::Type::Real: {
        const quint64 bits = f[3].toULongLong(&ok, 16);
        ok = ok && f[3].size() == 16;
        std::memcpy(&cell.real, &bits, sizeof bits);
        break;
    }
    case CookieStoreCell::Type::Text: {
        const std::optional<QByteArray> text = QuarantineManifest::unescapeField(f[3]);
        ok = text.has_value();
        if (text)
            cell.bytes = *text;
        break;
    }
    case CookieStoreCell::Type::Blob:
        cell.bytes = QByteArray::fromHex(f[3]);
        ok = cell.bytes.toHex() == f[3].toLower();
        break;
    }
    if (!ok)
        return std::nullopt;
    return cell;
}

} // namespace

QByteArray encodeQuarantinedCookieRow(const QuarantinedCookieRow &item)
{
    QByteArray out = kHeader + "\r\n";
    out += "store\t" + cookieStorePrefix(item.kind).chopped(1).toLatin1() + "\r\n";
    out += "table\t" + QuarantineManifest::escapeField(item.row.table) + "\r\n";
    for (const CookieStoreCell &cell : item.row.cells) {
        QByteArray type;
        for (const TypeName &t : kTypeNames) {
            if (t.type == cell.type)
                type = t.name;
        }
        out += "cell\t" + QuarantineManifest::escapeField(cell.column) + '\t' + type + '\t' +
               cellValue(cell) + "\r\n";
    }
    return out;
}

std::optional<QuarantinedCookieRow> decodeQuarantinedCookieRow(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 4 || !lines.last().isEmpty())
        return std::nullopt;
    lines.removeLast();
    for (QByteArray &line : lines) {
        if (!line.endsWith('\r'))
            return std::nullopt;
        line.chop(1);
    }
    if (lines[0] != kHeader || !lines[1].startsWith("store\t") || !lines[2].startsWith("table\t"))
        return std::nullopt;
    QuarantinedCookieRow item;
    const QByteArray store = lines[1].mid(6);
    item.kind = store == "firefox"    ? CookieStoreKind::Firefox
                : store == "chromium" ? CookieStoreKind::Chromium
                                      : CookieStoreKind::None;
    const std::optional<QByteArray> table = QuarantineManifest::unescapeField(lines[2].mid(6));
    if (item.kind == CookieStoreKind::None || !table || table->isEmpty())
        return std::nullopt;
    item.row.table = *table;
    for (qsizetype i = 3; i < lines.size(); ++i) {
        const std::optional<CookieStoreCell> cell = readCell(lines[i].split('\t'));
        if (!cell)
            return std::nullopt;
        item.row.cells.append(*cell);
    }
    return item;
}
