// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/ProgressIndicator.h"

#include <QPainter>
#include <QPen>

namespace {
constexpr int kStepMilliseconds = 50;
constexpr int kStepDegrees = 30;
constexpr int kArcDegrees = 120;
}  // namespace

ProgressIndicator::ProgressIndicator(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  timer_.setInterval(kStepMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &ProgressIndicator::step);
}

void ProgressIndicator::startAnimation(QObject*) {
  if (animating_) return;
  animating_ = true;
  updateTimer();
  if (isVisible()) repaint();
}

void ProgressIndicator::stopAnimation(QObject*) {
  if (!animating_) return;
  animating_ = false;
  updateTimer();
  if (isVisible()) repaint();
}

void ProgressIndicator::setDisplayedWhenStopped(bool displayed) {
  displayedWhenStopped_ = displayed;
  update();
}

void ProgressIndicator::step() {
  phase_ = (phase_ - kStepDegrees + 360) % 360;  // clockwise
  update();
}

void ProgressIndicator::updateTimer() {
  // No need to wake up for a spinner nobody can see.
  if (animating_ && isVisible()) timer_.start();
  else timer_.stop();
}

void ProgressIndicator::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  updateTimer();
}

void ProgressIndicator::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  updateTimer();
}

QSize ProgressIndicator::sizeHint() const {
  const int side = qBound(16, fontMetrics().height(), 20);
  return {side, side};
}

QSize ProgressIndicator::minimumSizeHint() const { return {16, 16}; }

void ProgressIndicator::paintEvent(QPaintEvent*) {
  if (!animating_ && !displayedWhenStopped_) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const int side = qMin(width(), height());
  const qreal penWidth = qMax<qreal>(2.0, side / 8.0);
  const QRectF square((width() - side) / 2.0, (height() - side) / 2.0, side, side);
  const QRectF ring = square.adjusted(penWidth / 2, penWidth / 2, -penWidth / 2, -penWidth / 2);
  QColor color = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText);
  // A faint full circle as the track, the moving arc over it.
  QColor track = color;
  track.setAlphaF(0.15f);
  painter.setPen(QPen(track, penWidth));
  painter.drawEllipse(ring);
  if (!animating_) return;
  painter.setPen(QPen(color, penWidth, Qt::SolidLine, Qt::RoundCap));
  painter.drawArc(ring, phase_ * 16, -kArcDegrees * 16);
}
