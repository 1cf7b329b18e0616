#pragma once

#include <QString>

// The status text of a running download: what is still to come, then the
// share already read, e.g. "3.00 MB (50.0%)" or "1024.0 KB (0.0%)".  From
// 1,048,576 bytes to come on the size is in MB with two decimals, below it in
// KB with one.  MaxBytes is never 0 here (no progress is shown without a
// total).
QString downloadProgressText(qint32 CurBytes, qint32 MaxBytes);
