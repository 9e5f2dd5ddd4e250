// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading script source: a tokenizer and a recursive-descent parser for the language subset
// the script runner understands.
//
//   script     := { statement (end of line | end of script) }
//   statement  := "set" name "to" expr | "return" [expr] | expr
//   expr       := or;  or := and {"or" and};  and := not {"and" not};  not := "not" not | equality
//   equality   := comparison {("=" | "≠" | "is" ["not"] | "equals" | "is equal to"
//                              | "is not equal to") comparison}
//   comparison := coercion {("<" | ">" | "≤" | "≥" | "<=" | ">=" | "is less than"
//                            | "is greater than") coercion}
//   coercion   := concat {"as" class}
//   concat     := sum {"&" sum};  sum := product {("+" | "-") product}
//   product    := power {("*" | "/" | "÷" | "div" | "mod") power};  power := unary ["^" power]
//   unary      := ("-" | "+") unary | primary
//   primary    := number | text | constant | name | "(" expr ")"
//              |  "{" [expr {"," expr}] "}" | "{" label ":" expr {"," label ":" expr} "}"
//              |  "item" unary "of" primary | ("first" | "last") "item" "of" primary
//              |  "count" ["of"] primary | "length" "of" primary | label "of" primary
//
// Constants: true, false, pi, space, tab, linefeed, return (a carriage return), quote.
// Words are case-insensitive; names may also be written between bars (|any name|).
// Comments run from "--" or "#" to the end of the line, or sit between "(*" and "*)" (nested).
// "¬" at the end of a line continues the statement on the next one.
//
// Nesting is bounded, both in the parser's own recursion and in the depth of the tree it
// builds, and by the stack the calling thread has left (stackIsLow()), so that parsing and
// evaluating fail cleanly on any thread; trees are released without recursion.
#include <QString>
#include <memory>
#include <vector>

#include "platform/cocoa/AppleScriptValue.h"

namespace applescript {

inline constexpr int kMaxNesting = 1000;

struct Node {
  enum class Type {
    Literal,   // value
    Variable,  // name
    List,      // children
    Record,    // labels[i]: children[i]
    Negate,    // children[0]
    Plus,      // children[0], made a number
    Binary,    // op: children[0], children[1]
    Coerce,    // children[0] as target
    Not,       // children[0]
    And,       // children[0], children[1], the second only when needed
    Or,
    Item,      // item children[0] of children[1]
    Count,     // count of children[0]
    Property,  // name of children[0]
  };
  enum class Op { Add, Subtract, Multiply, Divide, Div, Mod, Power, Concat, Equal, NotEqual,
                  Less, Greater, LessOrEqual, GreaterOrEqual };
  enum class Class { Text, Integer, Real, Number, List, Record, Boolean };

  Type type = Type::Literal;
  Op op = Op::Add;
  Class target = Class::Text;
  Value value;
  QString name;  // as written
  std::vector<QString> labels;
  std::vector<std::unique_ptr<Node>> children;
  qsizetype from = 0, to = 0;  // source range
  int depth = 1;

  Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node();
};

struct Statement {
  enum class Kind { Set, Return, Expression };
  Kind kind = Kind::Expression;
  QString name;                // Set
  std::unique_ptr<Node> expr;  // null for a bare "return"
  qsizetype from = 0, to = 0;
};

struct Program {
  std::vector<Statement> statements;
};

// Throws ScriptError (kErrSyntax, or kErrStackOverflow for nesting too deep).
Program parse(const QString& source);

}  // namespace applescript
