// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/AppleScriptValue.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <pthread.h>

namespace applescript {

namespace {

const std::vector<Value> kNoItems;
const std::vector<Property> kNoProperties;

[[noreturn]] void tooBig() { outOfMemory(); }

[[noreturn]] void tooDeep() {
  throw ScriptError(kErrStackOverflow, QStringLiteral("Stack overflow."));
}

[[noreturn]] void cantMake(const Value& value, const char* type) {
  throw ScriptError(kErrCoercion, QStringLiteral("Can’t make %1 into type %2.")
                                      .arg(sourceText(value), QLatin1String(type)));
}

qint64 addSize(qint64 a, qint64 b) {
  const qint64 sum = a + b;  // both are capped far below overflow
  if (sum > kMaxSize) tooBig();
  return sum;
}

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Reads text the way the language reads a number literal, with an optional sign and white
// space around it. False when it is not one.
bool parseNumber(const QString& text, Value* out) {
  spendWork(text.size());
  const QString t = text.trimmed();
  qsizetype i = 0;
  if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) ++i;
  const qsizetype digitsStart = i;
  while (i < t.size() && isAsciiDigit(t[i])) ++i;
  qsizetype digits = i - digitsStart;
  bool integral = true;
  if (i < t.size() && t[i] == QLatin1Char('.')) {
    integral = false;
    ++i;
    const qsizetype fractionStart = i;
    while (i < t.size() && isAsciiDigit(t[i])) ++i;
    digits += i - fractionStart;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
    integral = false;
    ++i;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) ++i;
    const qsizetype exponentStart = i;
    while (i < t.size() && isAsciiDigit(t[i])) ++i;
    if (i == exponentStart) return false;
  }
  if (i != t.size()) return false;
  bool ok = false;
  const double r = t.toDouble(&ok);
  if (!ok || !std::isfinite(r)) return false;
  if (integral && r >= double(kMinInteger) && r <= double(kMaxInteger)) {
    *out = Value::integer(qint32(r));
  } else {
    *out = Value::real(r);
  }
  return true;
}

void appendText(const Value& value, QString* out) {
  spendWork(kItemSize);
  switch (value.kind()) {
    case Value::Kind::List:
      for (const Value& item : value.items()) {
        appendText(item, out);
        if (out->size() > kMaxSize) tooBig();
      }
      return;
    case Value::Kind::Text:
      if (out->size() + value.textValue().size() > kMaxSize) tooBig();
      spendWork(value.textValue().size());
      out->append(value.textValue());
      return;
    case Value::Kind::Integer:
      out->append(QString::number(value.integerValue()));
      return;
    case Value::Kind::Real:
      out->append(realText(value.realValue()));
      return;
    case Value::Kind::Boolean:
      out->append(value.booleanValue() ? QLatin1String("true") : QLatin1String("false"));
      return;
    default:
      cantMake(value, "text");
  }
}


void appendSource(const Value& value, int maxLength, QString* out) {
  if (out->size() > maxLength) return;
  switch (value.kind()) {
    case Value::Kind::Null:
      out->append(QLatin1String("missing value"));
      return;
    case Value::Kind::Text: {
      QString quoted = value.textValue().left(maxLength);
      quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
      quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
      out->append(QLatin1Char('"') + quoted +
                  (value.textValue().size() > maxLength ? QStringLiteral("…\"") : QStringLiteral("\"")));
      return;
    }
    case Value::Kind::List: {
      out->append(QLatin1Char('{'));
      bool first = true;
      for (const Value& item : value.items()) {
        if (out->size() > maxLength) {
          out->append(QStringLiteral(", …"));
          break;
        }
        if (!first) out->append(QLatin1String(", "));
        first = false;
        appendSource(item, maxLength, out);
      }
      out->append(QLatin1Char('}'));
      return;
    }
    case Value::Kind::Record: {
      out->append(QLatin1Char('{'));
      bool first = true;
      for (const Property& p : value.properties()) {
        if (out->size() > maxLength) {
          out->append(QStringLiteral(", …"));
          break;
        }
        if (!first) out->append(QLatin1String(", "));
        first = false;
        out->append(p.label + QLatin1Char(':'));
        appendSource(p.value, maxLength, out);
      }
      out->append(QLatin1Char('}'));
      return;
    }
    default:
      appendText(value, out);
  }
}

int compareText(const QString& a, const QString& b) {
  spendWork(std::min(a.size(), b.size()));
  return QString::compare(a, b, Qt::CaseInsensitive);
}

}  // namespace

void outOfMemory() { throw ScriptError(kErrOutOfMemory, QStringLiteral("Out of memory.")); }

namespace {

// The lowest usable address of this thread's stack, found once per thread; 0 when unknown.
std::uintptr_t stackLimit() {
  thread_local std::uintptr_t limit = [] {
    std::uintptr_t low = 0;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      void* address = nullptr;
      std::size_t size = 0;
      std::size_t guard = 0;
      if (pthread_attr_getstack(&attributes, &address, &size) == 0) {
        pthread_attr_getguardsize(&attributes, &guard);
        low = std::uintptr_t(address) + guard;
      }
      pthread_attr_destroy(&attributes);
    }
    return low;
  }();
  return limit;
}

thread_local qint64 workLeft = 0;
thread_local int budgets = 0;

}  // namespace

bool stackIsLow() {
  const std::uintptr_t limit = stackLimit();
  const char here = 0;
  const auto at = reinterpret_cast<std::uintptr_t>(&here);
  return limit != 0 && at < limit + kStackReserve;
}

WorkBudget::WorkBudget() {
  if (budgets++ == 0) workLeft = kMaxWork;
}

WorkBudget::~WorkBudget() { --budgets; }

void spendWork(qint64 units) {
  if (budgets == 0) return;
  workLeft -= units;
  if (workLeft < 0) {
    throw ScriptError(kErrTimeout, QStringLiteral("The script does too much work: it handled more than %1 "
                                                  "characters and items, and was stopped.")
                                       .arg(kMaxWork));
  }
}

Value Value::boolean(bool b) {
  Value v;
  v.kind_ = Kind::Boolean;
  v.bool_ = b;
  return v;
}

Value Value::integer(qint32 i) {
  Q_ASSERT(i >= kMinInteger && i <= kMaxInteger);
  Value v;
  v.kind_ = Kind::Integer;
  v.int_ = i;
  return v;
}

Value Value::real(double r) {
  if (!std::isfinite(r))
    throw ScriptError(kErrNumericOverflow,
                      QStringLiteral("The result of a numeric operation was too large."));
  Value v;
  v.kind_ = Kind::Real;
  v.real_ = r == 0 ? 0.0 : r;  // no negative zero
  return v;
}

Value Value::number(double r) {
  if (std::isfinite(r) && r == std::trunc(r) && r >= double(kMinInteger) &&
      r <= double(kMaxInteger))
    return integer(qint32(r));
  return real(r);
}

Value Value::numberFromInteger(qint64 i) {
  if (i >= kMinInteger && i <= kMaxInteger) return integer(qint32(i));
  return real(double(i));
}

Value Value::text(QString text) {
  if (text.size() > kMaxSize) tooBig();
  spendWork(text.size());
  Value v;
  v.kind_ = Kind::Text;
  v.text_ = text.isNull() ? QStringLiteral("") : std::move(text);
  v.size_ = kItemSize + v.text_.size();
  return v;
}

Value Value::list(std::vector<Value> items) {
  spendWork(qint64(items.size()) * kItemSize);
  Value v;
  v.kind_ = Kind::List;
  for (const Value& item : items) {
    v.size_ = addSize(v.size_, item.size_);
    v.depth_ = std::max(v.depth_, item.depth_ + 1);
  }
  if (v.depth_ > kMaxDepth) tooDeep();
  v.items_ = std::make_shared<const std::vector<Value>>(std::move(items));
  return v;
}

Value Value::record(std::vector<Property> properties) {
  spendWork(qint64(properties.size()) * kItemSize);
  Value v;
  v.kind_ = Kind::Record;
  for (const Property& p : properties) {
    v.size_ = addSize(v.size_, p.value.size_ + p.label.size());
    v.depth_ = std::max(v.depth_, p.value.depth_ + 1);
  }
  if (v.depth_ > kMaxDepth) tooDeep();
  v.properties_ = std::make_shared<const std::vector<Property>>(std::move(properties));
  return v;
}

const std::vector<Value>& Value::items() const { return items_ ? *items_ : kNoItems; }

const std::vector<Property>& Value::properties() const {
  return properties_ ? *properties_ : kNoProperties;
}

bool sameLabel(const QString& a, const QString& b) { return compareText(a, b) == 0; }

qsizetype findProperty(const std::vector<Property>& properties, const QString& label) {
  for (size_t i = 0; i < properties.size(); ++i)
    if (sameLabel(properties[i].label, label)) return qsizetype(i);
  return -1;
}

QString realText(double r) {
  if (r == 0) return QStringLiteral("0.0");
  // The exponent after rounding to twelve significant digits decides the notation.
  const QString scientific = QString::number(r, 'e', 11);  // [-]d.ddddddddddde[+-]XX
  const qsizetype e = scientific.indexOf(QLatin1Char('e'));
  const int exponent = scientific.mid(e + 1).toInt();
  auto trimFraction = [](QString digits) {
    while (digits.endsWith(QLatin1Char('0'))) digits.chop(1);
    if (digits.endsWith(QLatin1Char('.'))) digits.append(QLatin1Char('0'));
    return digits;
  };
  if (exponent > -4 && exponent < 4) return trimFraction(QString::number(r, 'f', 11 - exponent));
  return trimFraction(scientific.left(e)) + QLatin1Char('E') +
         (exponent < 0 ? QLatin1Char('-') : QLatin1Char('+')) + QString::number(std::abs(exponent));
}

QString sourceText(const Value& value, int maxLength) {
  QString out;
  appendSource(value, maxLength, &out);
  return out;
}

QString className(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null: return QStringLiteral("missing value");
    case Value::Kind::Boolean: return QStringLiteral("boolean");
    case Value::Kind::Integer: return QStringLiteral("integer");
    case Value::Kind::Real: return QStringLiteral("real");
    case Value::Kind::Text: return QStringLiteral("text");
    case Value::Kind::List: return QStringLiteral("list");
    case Value::Kind::Record: return QStringLiteral("record");
  }
  return {};
}

QString toText(const Value& value) {
  if (value.kind() == Value::Kind::Text) return value.textValue();
  QString out = QStringLiteral("");
  appendText(value, &out);
  return out;
}

Value toNumber(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Integer:
    case Value::Kind::Real:
      return value;
    case Value::Kind::Text: {
      Value number;
      if (parseNumber(value.textValue(), &number)) return number;
      break;
    }
    case Value::Kind::List:
      if (value.items().size() == 1) return toNumber(value.items().front());
      break;
    default:
      break;
  }
  cantMake(value, "number");
}

qint32 toInteger(const Value& value) {
  const Value number = toNumber(value);
  if (number.kind() == Value::Kind::Integer) return number.integerValue();
  const double rounded = std::nearbyint(number.realValue());  // the default mode: halves to even
  if (rounded < double(kMinInteger) || rounded > double(kMaxInteger)) cantMake(value, "integer");
  return qint32(rounded);
}

double toReal(const Value& value) { return toNumber(value).realValue(); }

bool toBoolean(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Boolean:
      return value.booleanValue();
    case Value::Kind::Text:
      if (compareText(value.textValue(), QStringLiteral("true")) == 0) return true;
      if (compareText(value.textValue(), QStringLiteral("false")) == 0) return false;
      break;
    case Value::Kind::Integer:
      if (value.integerValue() == 0 || value.integerValue() == 1) return value.integerValue();
      break;
    case Value::Kind::List:
      if (value.items().size() == 1) return toBoolean(value.items().front());
      break;
    default:
      break;
  }
  cantMake(value, "boolean");
}

Value toList(const Value& value) {
  if (value.kind() == Value::Kind::List) return value;
  if (value.kind() == Value::Kind::Record) {
    std::vector<Value> values;
    values.reserve(value.properties().size());
    for (const Property& p : value.properties()) values.push_back(p.value);
    return Value::list(std::move(values));
  }
  return Value::list({value});
}

Value toRecord(const Value& value) {
  if (value.kind() == Value::Kind::Record) return value;
  if (value.kind() == Value::Kind::List && value.items().empty()) return Value::record({});
  cantMake(value, "record");
}

bool equal(const Value& a, const Value& b) {
  spendWork(kItemSize);
  if (a.isNumber() && b.isNumber()) return a.realValue() == b.realValue();
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Null:
      return true;
    case Value::Kind::Boolean:
      return a.booleanValue() == b.booleanValue();
    case Value::Kind::Text:
      return compareText(a.textValue(), b.textValue()) == 0;
    case Value::Kind::List: {
      const auto& x = a.items();
      const auto& y = b.items();
      if (x.size() != y.size()) return false;
      for (size_t i = 0; i < x.size(); ++i)
        if (!equal(x[i], y[i])) return false;
      return true;
    }
    case Value::Kind::Record: {
      const auto& x = a.properties();
      const auto& y = b.properties();
      if (x.size() != y.size()) return false;
      for (const Property& p : x) {
        const qsizetype at = findProperty(y, p.label);
        if (at < 0 || !equal(p.value, y[size_t(at)].value)) return false;
      }
      return true;
    }
    default:
      return false;
  }
}

int compare(const Value& a, const Value& b) {
  if (a.isNumber()) {
    const double x = a.realValue(), y = toReal(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (a.kind() == Value::Kind::Text) return compareText(a.textValue(), toText(b));
  cantMake(a, "number");
}

qsizetype characterCount(const QString& text) {
  spendWork(text.size());
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  qsizetype count = 0;
  while (finder.toNextBoundary() > 0) ++count;
  return count;
}

QString characterAt(const QString& text, qsizetype index) {
  if (index < 0) index += characterCount(text) + 1;
  if (index < 1) return {};
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  qsizetype start = 0;
  for (qsizetype n = 1;; ++n) {
    const qsizetype end = finder.toNextBoundary();
    if (end <= 0) {
      spendWork(start);
      return {};
    }
    if (n == index) spendWork(end);
    if (n == index) return text.mid(start, end - start);
    start = end;
  }
}

}  // namespace applescript
