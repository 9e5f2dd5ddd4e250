// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/PopUpButton.h"

#include <QActionEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "platform/cocoa/Menus.h"

namespace {
// The width the button asks for is that of its longest title, within these bounds (in average
// character widths): long queries must not make the window grow without end.
constexpr int kMinimumHintCharacters = 8;
constexpr int kMaximumHintCharacters = 36;
}  // namespace

PopUpButton::PopUpButton(QWidget* parent) : QPushButton(parent), menu_(new QMenu(this)) {
  setAutoDefault(false);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  menu_->installEventFilter(this);
  connect(menu_, &QMenu::triggered, this, &PopUpButton::onMenuTriggered);
  connect(menu_, &QMenu::aboutToHide, this, [this] { setDown(false); });
}

PopUpButton::~PopUpButton() {
  // The menu's items may outlive the button; they must stop reporting to it.
  menu_->removeEventFilter(this);
  disconnect(menu_, nullptr, this, nullptr);
}

void PopUpButton::selectItem(QAction* item) {
  if (item && indexOfItem(menu_, item) < 0) return;
  if (selected_ == item) return;
  selected_ = item;
  selectionDidChange();
}

void PopUpButton::selectItemAtIndex(int index) { selectItem(itemAtIndex(menu_, index)); }

void PopUpButton::selectItemWithTitle(const QString& title) {
  for (QAction* item : menu_->actions()) {
    if (!item->isSeparator() && menuItemTitle(item) == title) {
      selectItem(item);
      return;
    }
  }
  selectItem(nullptr);
}

QAction* PopUpButton::selectedItem() const { return selected_; }

int PopUpButton::indexOfSelectedItem() const { return indexOfItem(menu_, selected_); }

QString PopUpButton::titleOfSelectedItem() const {
  return selected_ ? menuItemTitle(selected_) : QString();
}

void PopUpButton::setPlaceholderText(const QString& text) {
  placeholder_ = text;
  cachedHint_ = {};
  updateGeometry();
  update();
}

void PopUpButton::noteItemChosen(QAction* item) {
  if (!item) return;
  for (QObject* object : item->associatedObjects()) {
    auto* menu = qobject_cast<QMenu*>(object);
    if (!menu) continue;
    if (auto* button = qobject_cast<PopUpButton*>(menu->parentWidget()); button && button->menu_ == menu)
      button->selectItem(item);
  }
}

void PopUpButton::onMenuTriggered(QAction* item) {
  // Items of submenus reach here too; only the menu's own items can be selected.
  if (indexOfItem(menu_, item) >= 0) selectItem(item);
}

void PopUpButton::selectionDidChange() {
  update();
  emit selectionChanged();
}

void PopUpButton::showPopup() {
  if (menu_->isEmpty() || menu_->isVisible()) return;
  setDown(true);
  menu_->setMinimumWidth(width());
  QAction* at = selected_ && selected_->isVisible() ? selected_.data() : nullptr;
  menu_->popup(mapToGlobal(QPoint(0, 0)), at);
  if (at) menu_->setActiveAction(at);
}

void PopUpButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    showPopup();
    event->accept();
    return;
  }
  QPushButton::mousePressEvent(event);
}

void PopUpButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_F4:
      showPopup();
      event->accept();
      return;
    default:
      QPushButton::keyPressEvent(event);
  }
}

bool PopUpButton::eventFilter(QObject* watched, QEvent* event) {
  if (watched == menu_) {
    switch (event->type()) {
      case QEvent::ActionRemoved:
        if (static_cast<QActionEvent*>(event)->action() == selected_.data()) {
          selected_ = nullptr;
          selectionDidChange();
        }
        [[fallthrough]];
      case QEvent::ActionAdded:
      case QEvent::ActionChanged:
        cachedHint_ = {};
        updateGeometry();
        update();
        break;
      default:
        break;
    }
  }
  return QPushButton::eventFilter(watched, event);
}

void PopUpButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    cachedHint_ = {};
    updateGeometry();
  }
  QPushButton::changeEvent(event);
}

void PopUpButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  option.initFrom(this);
  option.editable = false;
  option.frame = !isFlat();
  if (isDown()) {
    option.state |= QStyle::State_Sunken | QStyle::State_On;
    option.activeSubControls = QStyle::SC_ComboBoxArrow;
  }
  QString text;
  if (selected_) {
    text = oneLineTitle(menuItemTitle(selected_));
    option.currentIcon = selected_->icon();
    option.iconSize = iconSize();
  } else {
    text = placeholder_;
    option.palette.setBrush(QPalette::ButtonText, option.palette.placeholderText());
  }
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                              QStyle::SC_ComboBoxEditField, this);
  int room = field.width() - 2;
  if (!option.currentIcon.isNull()) room -= option.iconSize.width() + 4;
  option.currentText = fontMetrics().elidedText(text, Qt::ElideRight, qMax(0, room));
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

QSize PopUpButton::contentsSize() const {
  const QFontMetrics metrics = fontMetrics();
  int widest = metrics.horizontalAdvance(placeholder_);
  bool anyIcon = false;
  for (const QAction* item : menu_->actions()) {
    if (item->isSeparator()) continue;
    const QString title = oneLineTitle(menuItemTitle(item));
    // Titles beyond the limit are cut anyway; measure no more of them than can count.
    widest = qMax(widest, metrics.horizontalAdvance(title.left(kMaximumHintCharacters * 2)));
    anyIcon = anyIcon || !item->icon().isNull();
  }
  const int average = metrics.averageCharWidth();
  widest = qBound(average * kMinimumHintCharacters, widest, average * kMaximumHintCharacters);
  if (anyIcon) widest += iconSize().width() + 4;
  return QSize(widest, qMax(metrics.height(), anyIcon ? iconSize().height() : 0));
}

QSize PopUpButton::sizeHint() const {
  if (!cachedHint_.isValid()) {
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.editable = false;
    option.frame = !isFlat();
    cachedHint_ = style()->sizeFromContents(QStyle::CT_ComboBox, &option, contentsSize(), this);
  }
  return cachedHint_;
}

QSize PopUpButton::minimumSizeHint() const {
  QStyleOptionComboBox option;
  option.initFrom(this);
  option.editable = false;
  option.frame = !isFlat();
  const QFontMetrics metrics = fontMetrics();
  return style()->sizeFromContents(QStyle::CT_ComboBox, &option,
                                   QSize(metrics.averageCharWidth() * 4, metrics.height()), this);
}
