#include "tests/support/UpdateTexts.h"

#include "language/LanguageTexts.h"

QByteArray updateTestLanguageFile()
{
    QByteArray text;
    for (int n = 1; n <= LanguageTexts::kLastEntry; ++n) {
        switch (n) {
        case 20:
            text += "The update server does not answer.";
            break;
        case 23:
            text += "A new version is out.";
            break;
        case 24:
            text += "Up to date.";
            break;
        case 25:
            text += "Download failed.";
            break;
        case 33:
            text += "Last update";
            break;
        case UpdateServerUnreachableText:
            text += "Server unreachable.";
            break;
        case UpdateListInvalidText:
            text += "List invalid.";
            break;
        case UpdateListExpiredText:
            text += "List expired.";
            break;
        case UpdateListOlderText:
            text += "List older.";
            break;
        case UpdateNotAsListedText:
            text += "Not as listed.";
            break;
        case UpdateWriteFailedText:
            text += "Not saved.";
            break;
        default:
            text += QByteArray::number(n);
        }
        text += "\r\n";
    }
    return text;
}
