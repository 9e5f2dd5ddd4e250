// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small indeterminate spinner. While animating it turns an arc; when stopped it draws nothing
// (its place in the layout stays), unless it is asked to stay displayed.
#include <QTimer>
#include <QWidget>

class ProgressIndicator : public QWidget {
  Q_OBJECT
  Q_PROPERTY(bool displayedWhenStopped READ isDisplayedWhenStopped WRITE setDisplayedWhenStopped)
 public:
  explicit ProgressIndicator(QWidget* parent = nullptr);

  // The sender is ignored, as with any action. Start and stop paint at once, so that the
  // change shows even when the main thread then stays busy.
  Q_INVOKABLE void startAnimation(QObject* sender = nullptr);
  Q_INVOKABLE void stopAnimation(QObject* sender = nullptr);
  bool isAnimating() const { return animating_; }

  bool isDisplayedWhenStopped() const { return displayedWhenStopped_; }
  void setDisplayedWhenStopped(bool displayed);

  // The angle, in degrees, at which the arc starts; it moves on at every step.
  int phase() const { return phase_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void step();
  void updateTimer();

  QTimer timer_;
  bool animating_ = false;
  bool displayedWhenStopped_ = false;
  int phase_ = 90;
};
