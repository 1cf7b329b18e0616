#include "update/ProgressText.h"

QString downloadProgressText(qint32 CurBytes, qint32 MaxBytes)
{
    const double remaining = double(MaxBytes) - double(CurBytes);
    const QString size =
        remaining >= 1048576.0
            ? QString::number(remaining / 1048576.0, 'f', 2) + QStringLiteral(" MB")
            : QString::number(remaining / 1024.0, 'f', 1) + QStringLiteral(" KB");
    const double share = MaxBytes == 0 ? 0.0 : double(CurBytes) / double(MaxBytes) * 100.0;
    return size + QStringLiteral(" (") + QString::number(share, 'f', 1) + QStringLiteral("%)");
}
