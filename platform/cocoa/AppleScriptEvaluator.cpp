// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/AppleScriptEvaluator.h"

#include <QHash>
#include <cmath>

namespace applescript {

namespace {

// The scripting language's rules for the operators, as far as this subset goes:
// - arithmetic makes both operands numbers (text that reads as a number, a one-item list);
//   integers stay integers unless the result leaves the integer range; "/" and "^" always
//   give reals; "div" truncates and gives an integer; "mod" keeps the dividend's sign.
// - "&" looks at the left operand: text joins the right one's text form, a list appends the
//   right one made a list, a record merges a record (the left one's labels win); any other
//   left value starts a list of both.
// - "<" and ">" make the right operand the class of the left one; "=" compares without any
//   coercion.
class Evaluator {
 public:
  Value run(const Program& program) {
    WorkBudget budget;
    Value result;
    for (const Statement& s : program.statements) {
      switch (s.kind) {
        case Statement::Kind::Set:
          result = eval(*s.expr);
          variables_.insert(s.name.toCaseFolded(), result);
          break;
        case Statement::Kind::Return:
          return s.expr ? eval(*s.expr) : Value();
        case Statement::Kind::Expression:
          result = eval(*s.expr);
          break;
      }
      variables_.insert(QStringLiteral("result"), result);
    }
    return result;
  }

 private:
  Value eval(const Node& n) {
    if (stackIsLow()) throw ScriptError(kErrStackOverflow, QStringLiteral("Stack overflow."), n.from, n.to);
    try {
      return evalNode(n);
    } catch (ScriptError& e) {
      if (e.from < 0) {
        e.from = n.from;
        e.to = n.to;
      }
      throw;
    }
  }

  // Each level of a deep tree costs the frames of eval() and of the one case it takes, so
  // the cases live in functions of their own: the frame of the switch stays small, and a
  // script nested a thousand levels deep needs about 150 KB rather than 580.
  Value evalNode(const Node& n) {
    switch (n.type) {
      case Node::Type::Literal: return n.value;
      case Node::Type::Variable: return variable(n);
      case Node::Type::List: return list(n);
      case Node::Type::Record: return record(n);
      case Node::Type::Negate: return negate(n);
      case Node::Type::Plus: return plus(n);
      case Node::Type::Binary: return binaryNode(n);
      case Node::Type::Coerce: return coerceNode(n);
      case Node::Type::Not: return notNode(n);
      case Node::Type::And: return andNode(n);
      case Node::Type::Or: return orNode(n);
      case Node::Type::Item: return itemNode(n);
      case Node::Type::Count: return countNode(n);
      case Node::Type::Property: return propertyNode(n);
    }
    return Value();
  }

  [[gnu::noinline]] Value variable(const Node& n) {
    const auto found = variables_.constFind(n.name.toCaseFolded());
    if (found == variables_.constEnd())
      throw ScriptError(kErrUndefinedVariable, QStringLiteral("The variable %1 is not defined.").arg(n.name));
    return *found;
  }

  [[gnu::noinline]] Value list(const Node& n) {
    std::vector<Value> items;
    qint64 size = kItemSize;
    for (const auto& child : n.children) {
      items.push_back(eval(*child));
      size += items.back().size();
      if (size > kMaxSize) outOfMemory();
    }
    return Value::list(std::move(items));
  }

  [[gnu::noinline]] Value record(const Node& n) {
    std::vector<Property> properties;
    qint64 size = kItemSize;
    for (size_t i = 0; i < n.children.size(); ++i) {
      properties.push_back({n.labels[i], eval(*n.children[i])});
      size += properties.back().value.size() + n.labels[i].size();
      if (size > kMaxSize) outOfMemory();
    }
    return Value::record(std::move(properties));
  }

  [[gnu::noinline]] Value negate(const Node& n) {
    const Value v = toNumber(eval(*n.children[0]));
    if (v.kind() == Value::Kind::Integer) return Value::numberFromInteger(-qint64(v.integerValue()));
    return Value::real(-v.realValue());
  }

  [[gnu::noinline]] Value plus(const Node& n) { return toNumber(eval(*n.children[0])); }

  [[gnu::noinline]] Value binaryNode(const Node& n) {
    const Value left = eval(*n.children[0]);
    return binary(n.op, left, eval(*n.children[1]));
  }

  [[gnu::noinline]] Value coerceNode(const Node& n) { return coerce(eval(*n.children[0]), n.target); }

  [[gnu::noinline]] Value notNode(const Node& n) { return Value::boolean(!toBoolean(eval(*n.children[0]))); }

  [[gnu::noinline]] Value andNode(const Node& n) {
    if (!toBoolean(eval(*n.children[0]))) return Value::boolean(false);
    return Value::boolean(toBoolean(eval(*n.children[1])));
  }

  [[gnu::noinline]] Value orNode(const Node& n) {
    if (toBoolean(eval(*n.children[0]))) return Value::boolean(true);
    return Value::boolean(toBoolean(eval(*n.children[1])));
  }

  [[gnu::noinline]] Value itemNode(const Node& n) {
    const Value index = eval(*n.children[0]);
    return item(index, eval(*n.children[1]));
  }

  [[gnu::noinline]] Value countNode(const Node& n) { return count(eval(*n.children[0])); }

  [[gnu::noinline]] Value propertyNode(const Node& n) { return property(n.name, eval(*n.children[0])); }

  static Value binary(Node::Op op, const Value& a, const Value& b) {
    switch (op) {
      case Node::Op::Concat:
        return concatenate(a, b);
      case Node::Op::Equal:
        return Value::boolean(equal(a, b));
      case Node::Op::NotEqual:
        return Value::boolean(!equal(a, b));
      case Node::Op::Less:
        return Value::boolean(compare(a, b) < 0);
      case Node::Op::Greater:
        return Value::boolean(compare(a, b) > 0);
      case Node::Op::LessOrEqual:
        return Value::boolean(compare(a, b) <= 0);
      case Node::Op::GreaterOrEqual:
        return Value::boolean(compare(a, b) >= 0);
      default:
        return arithmetic(op, toNumber(a), toNumber(b));
    }
  }

  [[noreturn]] static void divideByZero(const Value& dividend) {
    throw ScriptError(kErrDivideByZero,
                      QStringLiteral("Can’t divide %1 by zero.").arg(sourceText(dividend)));
  }

  static Value arithmetic(Node::Op op, const Value& a, const Value& b) {
    const bool integers = a.kind() == Value::Kind::Integer && b.kind() == Value::Kind::Integer;
    const qint64 i = a.integerValue(), j = b.integerValue();
    const double x = a.realValue(), y = b.realValue();
    switch (op) {
      case Node::Op::Add:
        return integers ? Value::numberFromInteger(i + j) : Value::real(x + y);
      case Node::Op::Subtract:
        return integers ? Value::numberFromInteger(i - j) : Value::real(x - y);
      case Node::Op::Multiply:
        return integers ? Value::numberFromInteger(i * j) : Value::real(x * y);
      case Node::Op::Divide:
        if (y == 0) divideByZero(a);
        return Value::real(x / y);
      case Node::Op::Div:
        if (y == 0) divideByZero(a);
        return integers ? Value::numberFromInteger(i / j) : Value::number(std::trunc(x / y));
      case Node::Op::Mod:
        if (y == 0) divideByZero(a);
        return integers ? Value::numberFromInteger(i % j) : Value::real(std::fmod(x, y));
      case Node::Op::Power:
        return Value::real(std::pow(x, y));
      default:
        return Value();
    }
  }

  static Value concatenate(const Value& a, const Value& b) {
    switch (a.kind()) {
      case Value::Kind::Text: {
        const QString right = toText(b);
        if (a.textValue().size() + right.size() > kMaxSize) outOfMemory();
        return Value::text(a.textValue() + right);
      }
      case Value::Kind::Record: {
        const Value right = toRecord(b);
        if (a.size() + right.size() > kMaxSize) outOfMemory();
        std::vector<Property> merged = a.properties();
        for (const Property& p : right.properties())
          if (findProperty(a.properties(), p.label) < 0) merged.push_back(p);
        return Value::record(std::move(merged));
      }
      default: {
        const Value right = toList(b);
        if (a.size() + right.size() > kMaxSize) outOfMemory();
        std::vector<Value> items;
        if (a.kind() == Value::Kind::List) items = a.items();
        else items.push_back(a);
        items.insert(items.end(), right.items().begin(), right.items().end());
        return Value::list(std::move(items));
      }
    }
  }

  static Value coerce(const Value& v, Node::Class target) {
    switch (target) {
      case Node::Class::Text: return Value::text(toText(v));
      case Node::Class::Integer: return Value::integer(toInteger(v));
      case Node::Class::Real: return Value::real(toReal(v));
      case Node::Class::Number: return toNumber(v);
      case Node::Class::List: return toList(v);
      case Node::Class::Record: return toRecord(v);
      case Node::Class::Boolean: return Value::boolean(toBoolean(v));
    }
    return v;
  }

  [[noreturn]] static void cantGet(const QString& what, const Value& of) {
    throw ScriptError(kErrCantGet,
                      QStringLiteral("Can’t get %1 of %2.").arg(what, sourceText(of)));
  }

  static Value item(const Value& indexValue, const Value& target) {
    const Value number = toNumber(indexValue);
    const double r = number.realValue();
    if (r != std::trunc(r))
      throw ScriptError(kErrCoercion, QStringLiteral("Can’t make %1 into type integer.")
                                          .arg(sourceText(number)));
    if (std::fabs(r) > double(kMaxSize)) cantGet(QStringLiteral("item %1").arg(sourceText(number)), target);
    qint64 index = qint64(r);
    const QString what = QStringLiteral("item %1").arg(index);
    if (target.kind() == Value::Kind::List) {
      const qint64 size = qint64(target.items().size());
      if (index < 0) index += size + 1;
      if (index < 1 || index > size) cantGet(what, target);
      return target.items()[size_t(index - 1)];
    }
    if (target.kind() == Value::Kind::Text) {
      const QString character = characterAt(target.textValue(), index);
      if (character.isNull()) cantGet(what, target);
      return Value::text(character);
    }
    cantGet(what, target);
  }

  static Value count(const Value& target) {
    switch (target.kind()) {
      case Value::Kind::List: return Value::numberFromInteger(qint64(target.items().size()));
      case Value::Kind::Record: return Value::numberFromInteger(qint64(target.properties().size()));
      case Value::Kind::Text: return Value::numberFromInteger(characterCount(target.textValue()));
      default: cantGet(QStringLiteral("count"), target);
    }
  }

  static Value property(const QString& label, const Value& target) {
    if (target.kind() == Value::Kind::Record) {
      const qsizetype at = findProperty(target.properties(), label);
      if (at >= 0) return target.properties()[size_t(at)].value;
    }
    cantGet(label, target);
  }

  QHash<QString, Value> variables_;
};

}  // namespace

Value run(const Program& program) { return Evaluator().run(program); }

}  // namespace applescript
