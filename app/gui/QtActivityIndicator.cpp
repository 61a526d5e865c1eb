#include "QtActivityIndicator.h"

#include <QPainter>
#include <algorithm>

QtActivityIndicator::QtActivityIndicator(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tr("Activity"));
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
    if (!animating_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    QColor color = palette().color(QPalette::WindowText);
    QPen pen(color, std::max<qreal>(1.5, side / 9.0), Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is darkest; the ones behind it fade out.
        const int age = (step_ - i + kSpokes) % kSpokes;
        color.setAlphaF(1.0 - 0.75 * age / (kSpokes - 1));
        pen.setColor(color);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / kSpokes);
        painter.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.42));
        painter.restore();
    }
}
