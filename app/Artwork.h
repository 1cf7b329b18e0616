#pragma once

#include <QPixmap>
#include <QString>

// The program's pictures, drawn as vector artwork and compiled into it.
// pixmap() renders one at the given size in device-independent pixels, sharp
// on high-density screens.  A missing picture gives an empty pixmap.
namespace Artwork {
QPixmap pixmap(const QString &name, const QSize &size);
}
