#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Text made safe to show on one line of a terminal or a report, so that a
// file name can neither move the cursor, change the terminal's state, start
// a new line, nor look like another name.  Every control character (C0, DEL
// and the C1 characters U+0080 to U+009F) and every byte that is not part of
// valid UTF-8 is written as \xHH, a C1 character as the two bytes of its
// UTF-8 form; CR and LF are written as \r and \n.  Everything else stays.
namespace VisibleText {

struct Style {
    // "\" written as "\\", so that the shown text names exactly one byte
    // string (the command-line tool's output).
    bool doubleBackslash = true;
    // A tab kept as it is (the report, where cookie lines hold tabs).
    bool keepTab = false;
};

// Bytes that are meant to be UTF-8, as a file name on Linux, made visible.
QByteArray fromUtf8Bytes(QByteArrayView bytes, Style style);
// The same for text; the result holds only valid UTF-8.
QString fromText(const QString &text, Style style);

} // namespace VisibleText
