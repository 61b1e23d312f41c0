#include "Symbols.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

// Resources of a static library must be registered by name, outside any namespace.
static void initSymbolResources() {
    Q_INIT_RESOURCE(icons);
}

namespace ombrix {

namespace {

const QStringList& symbolNames() {
    static const QStringList names{
        QStringLiteral("memorychip"),    QStringLiteral("eye"),
        QStringLiteral("eye.slash"),     QStringLiteral("moon.zzz"),
        QStringLiteral("terminal.fill"), QStringLiteral("folder"),
        QStringLiteral("macwindow"),     QStringLiteral("xmark.circle.fill"),
    };
    return names;
}

QSvgRenderer* renderer(const QString& name) {
    // Never destroyed, so the renderers stay reachable (and are never torn
    // down after the application object) for the life of the program.
    static auto& renderers = *new QHash<QString, QSvgRenderer*>;
    auto it = renderers.find(name);
    if (it != renderers.end()) {
        return *it;
    }
    static const bool registered = (initSymbolResources(), true);
    Q_UNUSED(registered);
    QSvgRenderer* r = nullptr;
    if (symbolNames().contains(name)) {
        // Kept for the life of the program: a few small documents.
        r = new QSvgRenderer(QStringLiteral(":/ombrix/icons/%1.svg").arg(name));
        if (!r->isValid()) {
            delete r;
            r = nullptr;
        }
    }
    renderers.insert(name, r);
    return r;
}

} // namespace

QStringList Symbols::names() {
    return symbolNames();
}

QPixmap Symbols::pixmap(const QString& name, QSizeF size, const QColor& color, qreal dpr) {
    QSvgRenderer* r = renderer(name);
    if (!r || size.isEmpty() || !(dpr > 0)) {
        return {};
    }
    const QSize pixels(qMax(1, int(std::ceil(size.width() * dpr))),
                       qMax(1, int(std::ceil(size.height() * dpr))));
    const QString key = QStringLiteral("%1|%2x%3|%4")
                            .arg(name)
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(color.rgba(), 0, 16);
    static QHash<QString, QPixmap> cache;
    if (auto it = cache.constFind(key); it != cache.constEnd()) {
        return *it;
    }
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QSizeF drawn = r->viewBoxF().size();
        drawn.scale(QSizeF(pixels), Qt::KeepAspectRatio);
        const QRectF target((pixels.width() - drawn.width()) / 2,
                            (pixels.height() - drawn.height()) / 2, drawn.width(), drawn.height());
        r->render(&p, target);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(dpr);
    if (cache.size() > 256) {
        cache.clear();
    }
    cache.insert(key, result);
    return result;
}

void Symbols::paint(QPainter& painter, const QRectF& rect, const QString& name,
                    const QColor& color) {
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap pm = pixmap(name, rect.size(), color, dpr);
    if (!pm.isNull()) {
        painter.drawPixmap(rect.topLeft(), pm);
    }
}

QString Symbols::appIconPath() {
    return QStringLiteral(":/ombrix/icons/ombrix.svg");
}

QIcon Symbols::appIcon() {
    static const bool registered = (initSymbolResources(), true);
    Q_UNUSED(registered);
    return QIcon(appIconPath());
}

} // namespace ombrix
