// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The values of the script runner's language and the coercions between them.
//
// Lists and records share their items (copying a value is cheap), and every value knows its
// logical size and nesting depth: both are capped, so that no script can build a value that
// exhausts memory or the stack when it is later turned into text, compared or released.
#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <exception>
#include <memory>
#include <vector>

namespace applescript {

// The language's integers are 30-bit; results outside this range become reals.
inline constexpr qint64 kMinInteger = -536870912;
inline constexpr qint64 kMaxInteger = 536870911;
// A value's logical size: kItemSize for each number, boolean or item slot, plus the units of
// its text, counted through every level of nesting (items shared by reference count each time).
inline constexpr qint64 kItemSize = 8;
inline constexpr qint64 kMaxSize = qint64(1) << 22;
inline constexpr int kMaxDepth = 200;

// The work a script may do in one run, counted in characters and items handled: beyond it
// the run stops with kErrTimeout. Enough for any sensible script over the largest values (a
// few hundred passes over a 4M-unit text would otherwise take minutes).
inline constexpr qint64 kMaxWork = qint64(1) << 25;
// Stack kept free below the deepest nesting: what a value's own recursion (bounded by
// kMaxDepth), an error's unwinding and the library calls beneath need.
inline constexpr std::size_t kStackReserve = 128u << 10;

// Error numbers, as the platform's script component reports them.
enum ErrorNumber : int {
  kErrCoercion = -1700,        // can't make a value into a class
  kErrCantGet = -1728,         // no such item or property
  kErrDivideByZero = -2701,
  kErrNumericOverflow = -2702,
  kErrStackOverflow = -2706,
  kErrSyntax = -2741,
  kErrUndefinedVariable = -2753,
  kErrOutOfMemory = -108,
  kErrTimeout = -1712,
};

// A compile-time or run-time failure; from/to locate it in the source when known.
class ScriptError : public std::exception {
 public:
  ScriptError(int number, QString message, qsizetype from = -1, qsizetype to = -1)
      : number(number), message(std::move(message)), from(from), to(to) {}
  const char* what() const noexcept override { return "script error"; }
  int number;
  QString message;
  qsizetype from, to;
};

[[noreturn]] void outOfMemory();

// True when less than kStackReserve of the calling thread's stack is left; nesting stops
// there with kErrStackOverflow, so that a script fails cleanly on any thread, a small one
// included, instead of overflowing it.
bool stackIsLow();

// Counts the work of one run on this thread: while one is alive, the coercions and character
// operations below charge what they handle, and throw kErrTimeout past kMaxWork.
class WorkBudget {
 public:
  WorkBudget();
  ~WorkBudget();
  WorkBudget(const WorkBudget&) = delete;
  WorkBudget& operator=(const WorkBudget&) = delete;
};
void spendWork(qint64 units);

struct Property;

class Value {
 public:
  enum class Kind { Null, Boolean, Integer, Real, Text, List, Record };

  Value() = default;  // the null value: no result
  static Value boolean(bool b);
  static Value integer(qint32 i);                 // i must lie in the integer range
  static Value real(double r);                    // not finite: numeric overflow
  static Value number(double r);                  // an integer when r is one and fits
  static Value numberFromInteger(qint64 i);       // a real when i does not fit
  static Value text(QString text);                // too long: out of memory
  static Value list(std::vector<Value> items);    // too big or too deep: out of memory, stack
  static Value record(std::vector<Property> properties);

  Kind kind() const { return kind_; }
  bool isNumber() const { return kind_ == Kind::Integer || kind_ == Kind::Real; }
  bool booleanValue() const { return bool_; }
  qint32 integerValue() const { return int_; }
  double realValue() const { return kind_ == Kind::Integer ? double(int_) : real_; }
  const QString& textValue() const { return text_; }
  const std::vector<Value>& items() const;
  const std::vector<Property>& properties() const;

  qint64 size() const { return size_; }
  int depth() const { return depth_; }

 private:
  Kind kind_ = Kind::Null;
  bool bool_ = false;
  qint32 int_ = 0;
  double real_ = 0;
  QString text_;
  std::shared_ptr<const std::vector<Value>> items_;
  std::shared_ptr<const std::vector<Property>> properties_;
  qint64 size_ = kItemSize;
  int depth_ = 0;
};

// A record entry. Labels compare ignoring letter case; the first spelling is kept.
struct Property {
  QString label;
  Value value;
};

bool sameLabel(const QString& a, const QString& b);
// Index of the property labelled `label`, or -1.
qsizetype findProperty(const std::vector<Property>& properties, const QString& label);

// The text form of a real: twelve significant digits, always with a decimal part, plain from
// 0.001 up to 10000 and in E notation ("1.0E+4", "2.5E-7") outside that.
QString realText(double r);
// How the value would be written in a script, cut short after about maxLength characters;
// used in error messages.
QString sourceText(const Value& value, int maxLength = 120);
// The name of the value's class as the language says it ("integer", "text", ...).
QString className(const Value& value);

// Coercions; each throws ScriptError kErrCoercion when the value has no such form.
QString toText(const Value& value);    // lists join their items' text; records have none
Value toNumber(const Value& value);    // integer or real; text is read as a number literal
qint32 toInteger(const Value& value);  // reals round to the nearest, halves to even
double toReal(const Value& value);
bool toBoolean(const Value& value);
Value toList(const Value& value);      // a record gives its values, anything else {value}
Value toRecord(const Value& value);    // records only (and the empty list)

// The language's equality: numbers by value, text ignoring letter case, lists item by item,
// records label by label in any order; values of different classes are unequal.
bool equal(const Value& a, const Value& b);
// Ordering for < and >: the right operand is made into the class of the left one (number or
// text); anything else cannot be compared. Answers <0, 0 or >0.
int compare(const Value& a, const Value& b);

// Characters as the user sees them (grapheme clusters), for counting and indexing text.
qsizetype characterCount(const QString& text);
// Character `index` counted from 1 (from the end when negative); null when out of range.
QString characterAt(const QString& text, qsizetype index);

}  // namespace applescript
