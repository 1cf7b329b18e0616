#pragma once

#include "platform/RegistryBackend.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// What the quarantine keeps of a registry row: where the row pointed, and
// the value, or the key with everything below it, as each place held it.
//
// Its kept bytes (before enciphering), lines ended by CR LF, fields
// separated by one TAB, texts as UTF-8 in the manifest's percent form:
//   TORVAKINE-REGISTRY 1
//   row    ROOT-NAME  KEY-PATH  VALUE-NAME    (the value name empty for a key)
//   then for each place that held it:
//   copy   STORE                              (a hive below the installation's
//                                              root; empty: the running system)
//   for a value: one line
//   value  NAME  TYPE  DATA                   (TYPE decimal, DATA hexadecimal)
//   for a key: its keys in depth-first order, each followed by its values
//   key    DEPTH  NAME                        (DEPTH 0 for the row's key itself)
//   value  NAME  TYPE  DATA
struct QuarantinedRegistry {
    QString rootName;
    QString keyPath;
    QString valueName;
    QList<RegistryValueCopy> values; // a value row
    QList<RegistryKeyCopy> keys;     // a key row

    bool operator==(const QuarantinedRegistry &) const = default;
};

QByteArray encodeQuarantinedRegistry(const QuarantinedRegistry &item);
// None when the bytes are not such a text.
std::optional<QuarantinedRegistry> decodeQuarantinedRegistry(const QByteArray &bytes);
