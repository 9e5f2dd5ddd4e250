// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSpinBox>
#include <QTextEdit>
#include <cstring>

#include "platform/cf/CFQt.h"

namespace {

// Every control handed out, with a guard that turns null when its widget goes.
QHash<ControlRef, QPointer<QWidget>>& controls() {
  static QHash<ControlRef, QPointer<QWidget>> table;
  return table;
}
QHash<WindowRef, QPointer<QWidget>>& windows() {
  static QHash<WindowRef, QPointer<QWidget>> table;
  return table;
}

const char kSignatureProperty[] = "controlSignature";
const char kNumberProperty[] = "controlID";

// The key filter of a control, a child of its widget so that it goes with it.
class KeyFilter : public QObject {
 public:
  KeyFilter(QWidget* widget, ControlRef control, ControlKeyFilterUPP proc)
      : QObject(widget), control_(control), proc_(proc) {
    setObjectName(QStringLiteral("vocabulon-key-filter"));
  }
  ControlKeyFilterUPP proc() const { return proc_; }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    SInt16 keyCode = SInt16(key->key() & 0xFFFF);
    SInt16 charCode = key->text().isEmpty() ? 0 : SInt16(key->text().at(0).unicode());
    EventModifiers modifiers = 0;
    const Qt::KeyboardModifiers qt = key->modifiers();
    if (qt & Qt::ControlModifier) modifiers |= 0x0100;
    if (qt & Qt::ShiftModifier) modifiers |= 0x0200;
    if (qt & Qt::AltModifier) modifiers |= 0x0800;
    if (qt & Qt::MetaModifier) modifiers |= 0x1000;
    return proc_(control_, &keyCode, &charCode, &modifiers) == kControlKeyFilterBlockKey;
  }

 private:
  ControlRef control_;
  ControlKeyFilterUPP proc_;
};

KeyFilter* keyFilterOf(QWidget* widget) {
  return widget->findChild<KeyFilter*>(QStringLiteral("vocabulon-key-filter"), Qt::FindDirectChildrenOnly);
}

// The widget's text; false for a widget that has none.
bool textOf(QWidget* w, QString* text) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) *text = e->text();
  else if (auto* l = qobject_cast<QLabel*>(w)) *text = l->text();
  else if (auto* b = qobject_cast<QAbstractButton*>(w)) *text = b->text();
  else if (auto* c = qobject_cast<QComboBox*>(w)) *text = c->currentText();
  else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) *text = p->toPlainText();
  else if (auto* t = qobject_cast<QTextEdit*>(w)) *text = t->toPlainText();
  else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) *text = s->text();
  else return false;
  return true;
}

OSErr setTextOf(QWidget* w, const QString& text) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(text);
  else if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
  else if (auto* c = qobject_cast<QComboBox*>(w)) {
    const int index = c->findText(text);
    if (index >= 0) c->setCurrentIndex(index);
    else if (c->isEditable()) c->setEditText(text);
    else {
      c->addItem(text);
      c->setCurrentIndex(c->count() - 1);
    }
  } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) p->setPlainText(text);
  else if (auto* t = qobject_cast<QTextEdit*>(w)) t->setPlainText(text);
  else if (auto* s = qobject_cast<QSpinBox*>(w)) {
    bool ok = false;
    QString clean = text.trimmed();
    if (clean.startsWith(s->prefix())) clean = clean.mid(s->prefix().size());
    if (!s->suffix().isEmpty() && clean.endsWith(s->suffix())) clean.chop(s->suffix().size());
    const int value = QLocale().toInt(clean.trimmed(), &ok);
    if (!ok || value < s->minimum() || value > s->maximum()) return paramErr;
    s->setValue(value);
  } else if (auto* d = qobject_cast<QDoubleSpinBox*>(w)) {
    bool ok = false;
    QString clean = text.trimmed();
    if (clean.startsWith(d->prefix())) clean = clean.mid(d->prefix().size());
    if (!d->suffix().isEmpty() && clean.endsWith(d->suffix())) clean.chop(d->suffix().size());
    const double value = QLocale().toDouble(clean.trimmed(), &ok);
    if (!ok || value < d->minimum() || value > d->maximum()) return paramErr;
    d->setValue(value);
  } else {
    return errDataNotSupported;
  }
  return noErr;
}

OSErr widgetOf(ControlRef control, QWidget** widget) {
  if (!control) return paramErr;
  *widget = WidgetFromControl(control);
  return *widget ? OSErr(noErr) : OSErr(errUnknownControl);
}

}  // namespace

ControlRef ControlFromWidget(QWidget* widget) {
  if (!widget) return nullptr;
  auto control = reinterpret_cast<ControlRef>(widget);
  controls().insert(control, widget);
  return control;
}

QWidget* WidgetFromControl(ControlRef control) {
  auto it = controls().constFind(control);
  return it == controls().constEnd() ? nullptr : it->data();
}

WindowRef WindowFromWidget(QWidget* widget) {
  if (!widget) return nullptr;
  QWidget* top = widget->window();
  auto window = reinterpret_cast<WindowRef>(top);
  windows().insert(window, top);
  return window;
}

QWidget* WidgetFromWindow(WindowRef window) {
  auto it = windows().constFind(window);
  return it == windows().constEnd() ? nullptr : it->data();
}

OSErr GetControlData(ControlRef inControl, ControlPartCode, ResType inTagName, Size inBufferSize,
                     void* inBuffer, Size* outActualSize) {
  QWidget* widget;
  if (OSErr err = widgetOf(inControl, &widget)) return err;
  switch (inTagName) {
    case kControlEditTextCFStringTag: {
      if (!inBuffer) return paramErr;
      if (inBufferSize != Size(sizeof(CFStringRef))) return errDataSizeMismatch;
      QString text;
      if (!textOf(widget, &text)) return errDataNotSupported;
      CFStringRef string = CFStringCreateWithQString(text);
      std::memcpy(inBuffer, &string, sizeof string);
      if (outActualSize) *outActualSize = sizeof string;
      return noErr;
    }
    case kControlEditTextTextTag: {
      QString text;
      if (!textOf(widget, &text)) return errDataNotSupported;
      const QByteArray bytes = text.toUtf8();  // the system encoding
      if (inBuffer && inBufferSize > 0) std::memcpy(inBuffer, bytes.constData(), std::min<Size>(inBufferSize, bytes.size()));
      if (outActualSize) *outActualSize = bytes.size();
      return noErr;
    }
    case kControlEditTextKeyFilterTag: {
      if (!inBuffer) return paramErr;
      if (inBufferSize != Size(sizeof(ControlKeyFilterUPP))) return errDataSizeMismatch;
      KeyFilter* filter = keyFilterOf(widget);
      ControlKeyFilterUPP proc = filter ? filter->proc() : nullptr;
      std::memcpy(inBuffer, &proc, sizeof proc);
      if (outActualSize) *outActualSize = sizeof proc;
      return noErr;
    }
    default:
      return errDataNotSupported;
  }
}

OSErr SetControlData(ControlRef inControl, ControlPartCode, ResType inTagName, Size inSize,
                     const void* inData) {
  QWidget* widget;
  if (OSErr err = widgetOf(inControl, &widget)) return err;
  if (!inData && inSize > 0) return paramErr;
  switch (inTagName) {
    case kControlEditTextCFStringTag: {
      if (inSize != Size(sizeof(CFStringRef))) return errDataSizeMismatch;
      CFStringRef string;
      std::memcpy(&string, inData, sizeof string);
      if (!string) return paramErr;
      return setTextOf(widget, CFStringToQString(string));
    }
    case kControlEditTextTextTag: {
      if (inSize < 0) return paramErr;
      const QByteArray bytes(static_cast<const char*>(inData), inSize);
      QString text = QString::fromUtf8(bytes);
      if (text.toUtf8() != bytes) text = QString::fromLatin1(bytes);  // not UTF-8: keep every byte
      return setTextOf(widget, text);
    }
    case kControlEditTextKeyFilterTag: {
      if (inSize != Size(sizeof(ControlKeyFilterUPP))) return errDataSizeMismatch;
      ControlKeyFilterUPP proc;
      std::memcpy(&proc, inData, sizeof proc);
      QString ignored;
      if (!textOf(widget, &ignored)) return errDataNotSupported;
      if (KeyFilter* old = keyFilterOf(widget)) delete old;  // removes itself from the widget
      if (proc) {
        auto* filter = new KeyFilter(widget, inControl, proc);
        widget->installEventFilter(filter);
        // An editable combo box types into its line edit.
        if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit())
          combo->lineEdit()->installEventFilter(filter);
      }
      return noErr;
    }
    default:
      return errDataNotSupported;
  }
}

OSStatus GetControlByID(WindowRef inWindow, const ControlID* inID, ControlRef* outControl) {
  if (!inID || !outControl) return paramErr;
  *outControl = nullptr;
  QWidget* window = WidgetFromWindow(inWindow);
  if (!window) return errInvalidWindowRef;
  QList<QWidget*> candidates{window};
  candidates += window->findChildren<QWidget*>();
  for (QWidget* widget : candidates) {
    const QByteArray signature = widget->property(kSignatureProperty).toString().toLatin1();
    const QVariant number = widget->property(kNumberProperty);
    if (signature.size() != 4 || !number.isValid()) continue;
    const OSType code = (OSType(UInt8(signature[0])) << 24) | (OSType(UInt8(signature[1])) << 16) |
                        (OSType(UInt8(signature[2])) << 8) | OSType(UInt8(signature[3]));
    bool ok = false;
    const int id = number.toInt(&ok);
    if (ok && code == inID->signature && id == inID->id) {
      *outControl = ControlFromWidget(widget);
      return noErr;
    }
  }
  return errItemNotControl;
}

OSStatus SetControlID(ControlRef inControl, const ControlID* inID) {
  QWidget* widget;
  if (OSErr err = widgetOf(inControl, &widget)) return err;
  if (!inID) return paramErr;
  const char code[4] = {char(inID->signature >> 24), char(inID->signature >> 16), char(inID->signature >> 8),
                        char(inID->signature)};
  widget->setProperty(kSignatureProperty, QString::fromLatin1(code, 4));
  widget->setProperty(kNumberProperty, int(inID->id));
  return noErr;
}

OSStatus GetControlID(ControlRef inControl, ControlID* outID) {
  QWidget* widget;
  if (OSErr err = widgetOf(inControl, &widget)) return err;
  if (!outID) return paramErr;
  const QByteArray signature = widget->property(kSignatureProperty).toString().toLatin1();
  outID->signature = signature.size() == 4 ? (OSType(UInt8(signature[0])) << 24) | (OSType(UInt8(signature[1])) << 16) |
                                                 (OSType(UInt8(signature[2])) << 8) | OSType(UInt8(signature[3]))
                                           : 0;
  outID->id = widget->property(kNumberProperty).toInt();
  return noErr;
}

void Draw1Control(ControlRef theControl) {
  if (QWidget* widget = WidgetFromControl(theControl)) widget->repaint();
}
