#include "app/Artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

// The pictures are compiled into the static app library, where nothing refers
// to their resource initialiser; without this call the linker drops them.
// (Q_INIT_RESOURCE must be used outside any namespace.)
static void registerArtwork()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(artwork);
        return true;
    }();
    Q_UNUSED(registered);
}

QPixmap Artwork::pixmap(const QString &name, const QSize &size)
{
    registerArtwork();
    QSvgRenderer renderer(QStringLiteral(":/art/") + name + QStringLiteral(".svg"));
    if (!renderer.isValid())
        return {};
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pm(size * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pm;
}
