#pragma once

#include "removal/CookieStoreRemoval.h"

#include <QByteArray>

#include <optional>

// What the quarantine keeps of a cookie-store row: the store's kind and the
// whole row, so that a restore inserts it again as it was.
//
// Its kept bytes (before enciphering), lines ended by CR LF, fields
// separated by one TAB, names and texts in the manifest's percent form:
//   TORVAKINE-COOKIE-ROW 1
//   store  firefox | chromium
//   table  NAME
//   then one line per column, in the table's order:
//   cell   COLUMN  null     -
//   cell   COLUMN  integer  DECIMAL
//   cell   COLUMN  real     16 hexadecimal digits (the IEEE 754 bits)
//   cell   COLUMN  text     TEXT
//   cell   COLUMN  blob     HEXADECIMAL
struct QuarantinedCookieRow {
    CookieStoreKind kind = CookieStoreKind::None;
    CookieStoreRowCopy row;
    bool operator==(const QuarantinedCookieRow &) const = default;
};

QByteArray encodeQuarantinedCookieRow(const QuarantinedCookieRow &item);
// None when the bytes are not such a text.
std::optional<QuarantinedCookieRow> decodeQuarantinedCookieRow(const QByteArray &bytes);
