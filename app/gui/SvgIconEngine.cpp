// SPDX-License-Identifier: GPL-3.0-or-later
#include "SvgIconEngine.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>

SvgIconEngine::SvgIconEngine(QString path, bool isTemplate)
    : path_(std::move(path)), template_(isTemplate) {}

QColor SvgIconEngine::tint(QIcon::Mode mode) const {
    const QPalette palette = QGuiApplication::palette();
    switch (mode) {
    case QIcon::Disabled:
        return palette.color(QPalette::Disabled, QPalette::WindowText);
    case QIcon::Selected:
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    default:
        return palette.color(QPalette::Active, QPalette::WindowText);
    }
}

QPixmap SvgIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) {
    if (size.isEmpty()) return {};
    const QColor color = template_ ? tint(mode) : QColor();
    const QString cacheKey = QStringLiteral("qb-svg:%1:%2x%3:%4")
                                 .arg(path_)
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(template_ ? color.rgba() : 0u);
    QPixmap cached;
    if (QPixmapCache::find(cacheKey, &cached)) return cached;

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path_);
    if (renderer.isValid()) {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
        if (template_) {
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), color);
        }
    }
    QPixmap result = QPixmap::fromImage(image);
    QPixmapCache::insert(cacheKey, result);
    return result;
}

void SvgIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                          QIcon::State state) {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap pm = pixmap(rect.size() * ratio, mode, state);
    pm.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, pm);
}

QIconEngine* SvgIconEngine::clone() const {
    return new SvgIconEngine(path_, template_);
}

QString SvgIconEngine::key() const {
    return QStringLiteral("QuillboreSvg");
}
