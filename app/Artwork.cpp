#include "app/Artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

QPixmap Artwork::pixmap(const QString &name, const QSize &size)
{
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
