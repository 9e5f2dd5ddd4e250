// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pop-up button: a button drawn like the style's drop-down list that shows the title of its
// selected item and, when clicked, pops up its menu with that item over the button.
//
// Choosing an item of the menu (by click, keyboard or trigger()) selects it before its action is
// sent; items in submenus select nothing. Removing the selected item from the menu, or deleting
// it, clears the selection. Adding items selects nothing: the selection is only what was chosen
// or selected by the calls below.
#include <QPointer>
#include <QPushButton>
#include <QString>

class QAction;
class QMenu;

class PopUpButton : public QPushButton {
  Q_OBJECT
  Q_PROPERTY(QString placeholderText READ placeholderText WRITE setPlaceholderText)
 public:
  explicit PopUpButton(QWidget* parent = nullptr);
  ~PopUpButton() override;

  // The button's own menu, alive as long as the button.
  QMenu* menu() const { return menu_; }

  // Selects `item` when it is an item of the menu; nullptr deselects.
  void selectItem(QAction* item);
  // -1, or any position outside the menu, deselects.
  void selectItemAtIndex(int index);
  // The first item whose title is exactly `title`; nothing is selected when none bears it.
  void selectItemWithTitle(const QString& title);

  QAction* selectedItem() const;
  int indexOfSelectedItem() const;    // -1 when none
  QString titleOfSelectedItem() const;  // a null QString when none

  // Shown, dimmed, while nothing is selected.
  QString placeholderText() const { return placeholder_; }
  void setPlaceholderText(const QString& text);

  // Pops the menu up, the selected item over the button.
  void showPopup();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // Called when an item is chosen: the pop-up button whose menu holds it selects it.
  static void noteItemChosen(QAction* item);

 signals:
  void selectionChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Hidden: the menu is the button's own, not QPushButton's.
  using QPushButton::setMenu;
  using QPushButton::showMenu;

  void onMenuTriggered(QAction* item);
  void selectionDidChange();
  QSize contentsSize() const;

  QMenu* menu_;
  QPointer<QAction> selected_;
  QString placeholder_;
  mutable QSize cachedHint_;
};
