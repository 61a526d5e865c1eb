// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIconEngine>
#include <QString>

// Draws one SVG file at exactly the requested pixel size, so icons stay crisp at any device
// pixel ratio. A template icon is a black shape tinted with the palette's text colour at
// paint time (highlighted text on selected rows, dimmed when disabled), as on macOS.
class SvgIconEngine : public QIconEngine {
public:
    SvgIconEngine(QString path, bool isTemplate);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;

private:
    QColor tint(QIcon::Mode mode) const;

    QString path_;
    bool template_;
};
