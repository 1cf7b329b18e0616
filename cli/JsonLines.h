#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

// Output of torvakine-cli --format json: JSON Lines on standard output, one
// object a line, each with a "type", the summary last.  Besides what JSON
// escapes itself, the C1 control characters and DEL are written as \u
// escapes, so that no text can drive the terminal that shows the output.
namespace JsonLines {
void print(const QJsonObject &object);
// The summary of command: its "type", "command", "error" (null when
// error is empty) and "exit_code"; the command adds its own fields.
QJsonObject summary(const char *command, const QString &error, int exitCode);
// Null for an empty text.
QJsonValue textOrNull(const QString &text);
// The fields of a text from outside that may hold bytes that are not valid
// UTF-8 (a file name on Linux): name holds it as text, such bytes as U+FFFD;
// then, only when there are such bytes, name + "_base64" holds the exact
// bytes.
void putBytes(QJsonObject &object, const QString &name, QByteArrayView bytes);
} // namespace JsonLines
