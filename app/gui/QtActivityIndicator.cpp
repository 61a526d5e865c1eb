// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtActivityIndicator.h"

#include <QPainter>
#include <algorithm>

QtActivityIndicator::QtActivityIndicator(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tr("Activity"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setInterval(1000 / kSpokes);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

void QtActivityIndicator::startAnimation() {
    if (animating_) return;
    animating_ = true;
    setToolTip(tr("At least one service is running"));
    updateTimer();
    update();
}

void QtActivityIndicator::stopAnimation() {
    if (!animating_) return;
    animating_ = false;
    setToolTip({});
    updateTimer();
    update();
}

void QtActivityIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    onScreen_ = true;
    updateTimer();
}

void QtActivityIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    onScreen_ = false;
    updateTimer();
}

void QtActivityIndicator::updateTimer() {
    const bool tick = animating_ && onScreen_ && !window()->isMinimized();
    if (tick && !timer_.isActive())
        timer_.start();
    else if (!tick)
        timer_.stop();
}

void QtActivityIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Opaque: a frame repaints this widget alone, not the window behind it.
    painter.fillRect(rect(), palette().color(backgroundRole()));
    if (!animating_) return;
    const qreal ratio = devicePixelRatioF();
    const QColor color = palette().color(QPalette::WindowText);
    if (frames_.empty() || framesSize_ != size() || framesRatio_ != ratio || framesColor_ != color)
        renderFrames(color, ratio);
    painter.drawPixmap(0, 0, frames_[static_cast<std::size_t>(step_)]);
}

// The twelve frames, drawn once: painting a frame is then one copy.
void QtActivityIndicator::renderFrames(const QColor& color, qreal ratio) {
    frames_.clear();
    framesSize_ = size();
    framesRatio_ = ratio;
    framesColor_ = color;
    const qreal side = std::min(width(), height());
    for (int step = 0; step < kSpokes; ++step) {
        QPixmap frame(size() * ratio);
        frame.setDevicePixelRatio(ratio);
        frame.fill(palette().color(backgroundRole()));
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        QColor spoke = color;
        QPen pen(spoke, std::max<qreal>(1.5, side / 9.0), Qt::SolidLine, Qt::RoundCap);
        for (int i = 0; i < kSpokes; ++i) {
            // The spoke at the current step is darkest; the ones behind it fade out.
            const int age = (step - i + kSpokes) % kSpokes;
            spoke.setAlphaF(1.0 - 0.75 * age / (kSpokes - 1));
            pen.setColor(spoke);
            painter.setPen(pen);
            painter.save();
            painter.rotate(360.0 * i / kSpokes);
            painter.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.42));
            painter.restore();
        }
        frames_.push_back(frame);
    }
}
