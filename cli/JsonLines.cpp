#include "cli/JsonLines.h"

#include <QJsonDocument>

#include <cstdio>

namespace {

// The line of object: compact JSON with DEL and U+0080 to U+009F escaped.
// Those can only stand inside a string, where \u escapes mean the same.
QByteArray lineOf(const QJsonObject &object)
{
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    QByteArray line;
    line.reserve(json.size() + 1);
    for (qsizetype i = 0; i < json.size(); ++i) {
        const uchar c = uchar(json[i]);
        if (c == 0x7f) {
            line += "\\u007f";
        } else if (c == 0xc2 && i + 1 < json.size() && uchar(json[i + 1]) <= 0x9f) {
            // U+0080 to U+009F are C2 and the code point's own low byte.
            line += "\\u00" + QByteArray::number(uchar(json[++i]), 16);
        } else {
            line += char(c);
        }
    }
    return line + '\n';
}

} // namespace

void JsonLines::print(const QJsonObject &object)
{
    const QByteArray line = lineOf(object);
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

QJsonObject JsonLines::summary(const char *command, const QString &error, int exitCode)
{
    return {{QStringLiteral("type"), QStringLiteral("summary")},
            {QStringLiteral("command"), QLatin1String(command)},
            {QStringLiteral("error"), textOrNull(error)},
            {QStringLiteral("exit_code"), exitCode}};
}

QJsonValue JsonLines::textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

void JsonLines::putBytes(QJsonObject &object, const QString &name, QByteArrayView bytes)
{
    const QString text = QString::fromUtf8(bytes);
    object.insert(name, text);
    if (text.toUtf8() != bytes)
        object.insert(name + QStringLiteral("_base64"),
                      QString::fromLatin1(bytes.toByteArray().toBase64()));
}
