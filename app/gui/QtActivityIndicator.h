// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/toolkit.h"

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <vector>

// A small spinning indicator, drawn as a ring of fading spokes. It keeps its place in the
// layout when stopped and then draws nothing. While its window is hidden or minimized it
// stays "animating" but its timer rests, so nobody pays for frames that nobody sees.
class QtActivityIndicator : public QWidget, public ActivityIndicator {
    Q_OBJECT
public:
    explicit QtActivityIndicator(QWidget* parent = nullptr);

    void startAnimation() override;
    void stopAnimation() override;
    bool isAnimating() const override { return animating_; }

    QSize sizeHint() const override { return {18, 18}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateTimer();
    void renderFrames(const QColor& color, qreal ratio);

    static constexpr int kSpokes = 12;
    QTimer timer_{this};
    int step_ = 0;
    bool animating_ = false;
    // Shown on screen: hide() and minimizing both send this widget a hide event.
    bool onScreen_ = false;
    std::vector<QPixmap> frames_;
    QSize framesSize_;
    qreal framesRatio_ = 0;
    QColor framesColor_;
};
