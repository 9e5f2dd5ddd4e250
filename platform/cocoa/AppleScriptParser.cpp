// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/AppleScriptParser.h"

#include <QSet>
#include <algorithm>

namespace applescript {

namespace {

struct Token {
  enum class Kind { Word, Name, Number, Text, Symbol, Newline, End };
  Kind kind = Kind::End;
  QString text;    // as written; the decoded contents for text, the bare name for |name|
  QString folded;  // words only: the case-folded spelling that keywords are matched on
  Value number;
  qsizetype from = 0, to = 0;
};

[[noreturn]] void syntaxError(const QString& message, qsizetype from, qsizetype to) {
  throw ScriptError(kErrSyntax, message, from, to);
}

[[noreturn]] void tooDeep(qsizetype from, qsizetype to) {
  throw ScriptError(kErrStackOverflow, QStringLiteral("The script is nested too deeply."), from,
                    to);
}

bool isNewline(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029; }

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// ---- tokenizer -------------------------------------------------------------------------------

class Tokenizer {
 public:
  explicit Tokenizer(const QString& source) : s_(source) {}

  std::vector<Token> run() {
    std::vector<Token> tokens;
    for (;;) {
      skipBlanks();
      if (at_ >= s_.size()) break;
      const char16_t c = s_[at_].unicode();
      const qsizetype start = at_;
      if (isNewline(c)) {
        ++at_;
        if (c == u'\r' && at_ < s_.size() && s_[at_] == u'\n') ++at_;
        if (tokens.empty() || tokens.back().kind != Token::Kind::Newline)
          tokens.push_back(make(Token::Kind::Newline, start));
      } else if (c == u'"') {
        tokens.push_back(text());
      } else if (c == u'|') {
        tokens.push_back(barName());
      } else if (isDigit(c) || (c == u'.' && at_ + 1 < s_.size() && isDigit(s_[at_ + 1].unicode()))) {
        tokens.push_back(number());
      } else if (isWordStart(at_)) {
        tokens.push_back(word());
      } else {
        tokens.push_back(symbol());
      }
    }
    Token end = make(Token::Kind::End, s_.size());
    tokens.push_back(end);
    return tokens;
  }

 private:
  Token make(Token::Kind kind, qsizetype from) {
    Token t;
    t.kind = kind;
    t.from = from;
    t.to = at_;
    t.text = s_.mid(from, at_ - from);
    return t;
  }

  char32_t codePointAt(qsizetype i, int* width) const {
    const QChar c = s_[i];
    if (c.isHighSurrogate() && i + 1 < s_.size() && s_[i + 1].isLowSurrogate()) {
      *width = 2;
      return QChar::surrogateToUcs4(c, s_[i + 1]);
    }
    *width = 1;
    return c.unicode();
  }

  bool isWordStart(qsizetype i) const {
    int width;
    const char32_t c = codePointAt(i, &width);
    return c == U'_' || QChar::isLetter(c);
  }

  bool isWordPart(qsizetype i, int* width) const {
    const char32_t c = codePointAt(i, width);
    return c == U'_' || QChar::isLetterOrNumber(c) || QChar::category(c) == QChar::Mark_NonSpacing;
  }

  // White space, comments and line continuations; stops at a line break.
  void skipBlanks() {
    while (at_ < s_.size()) {
      const QChar c = s_[at_];
      if (c.isSpace() && !isNewline(c.unicode())) {
        ++at_;
      } else if (c == u'#' || (c == u'-' && at_ + 1 < s_.size() && s_[at_ + 1] == u'-')) {
        while (at_ < s_.size() && !isNewline(s_[at_].unicode())) ++at_;
      } else if (c == u'(' && at_ + 1 < s_.size() && s_[at_ + 1] == u'*') {
        blockComment();
      } else if (c == u'¬') {
        continuation();
      } else {
        return;
      }
    }
  }

  void blockComment() {
    const qsizetype start = at_;
    int open = 0;
    while (at_ < s_.size()) {
      if (s_[at_] == u'(' && at_ + 1 < s_.size() && s_[at_ + 1] == u'*') {
        ++open;
        at_ += 2;
      } else if (s_[at_] == u'*' && at_ + 1 < s_.size() && s_[at_ + 1] == u')') {
        at_ += 2;
        if (--open == 0) return;
      } else {
        ++at_;
      }
    }
    syntaxError(QStringLiteral("Expected “*)” but found end of script."), start, at_);
  }

  // "¬" joins the next line to this one; only blanks and a comment may follow it.
  void continuation() {
    const qsizetype start = at_++;
    while (at_ < s_.size() && s_[at_].isSpace() && !isNewline(s_[at_].unicode())) ++at_;
    if (at_ < s_.size() && (s_[at_] == u'#' || (s_[at_] == u'-' && at_ + 1 < s_.size() &&
                                                 s_[at_ + 1] == u'-')))
      while (at_ < s_.size() && !isNewline(s_[at_].unicode())) ++at_;
    if (at_ >= s_.size()) return;
    if (!isNewline(s_[at_].unicode()))
      syntaxError(QStringLiteral("Expected end of line after “¬”."), start, at_ + 1);
    if (s_[at_] == u'\r' && at_ + 1 < s_.size() && s_[at_ + 1] == u'\n') ++at_;
    ++at_;
  }

  Token text() {
    const qsizetype start = at_++;
    QString contents = QStringLiteral("");
    for (;;) {
      if (at_ >= s_.size())
        syntaxError(QStringLiteral("Expected “\"” but found end of script."), start, at_);
      const QChar c = s_[at_++];
      if (c == u'"') break;
      if (c != u'\\') {
        contents.append(c);
        continue;
      }
      if (at_ >= s_.size())
        syntaxError(QStringLiteral("Expected “\"” but found end of script."), start, at_);
      const QChar e = s_[at_++];
      switch (e.unicode()) {
        case u'"': contents.append(u'"'); break;
        case u'\\': contents.append(u'\\'); break;
        case u'n': contents.append(u'\n'); break;
        case u'r': contents.append(u'\r'); break;
        case u't': contents.append(u'\t'); break;
        default:
          syntaxError(QStringLiteral("Unknown escape “\\%1” in text.").arg(e), at_ - 2, at_);
      }
    }
    if (contents.size() > kMaxSize)
      throw ScriptError(kErrOutOfMemory, QStringLiteral("Out of memory."), start, at_);
    Token t = make(Token::Kind::Text, start);
    t.text = contents;
    return t;
  }

  Token barName() {
    const qsizetype start = at_++;
    while (at_ < s_.size() && s_[at_] != u'|' && !isNewline(s_[at_].unicode())) ++at_;
    if (at_ >= s_.size() || s_[at_] != u'|')
      syntaxError(QStringLiteral("Expected “|” but found end of line."), start, at_);
    ++at_;
    Token t = make(Token::Kind::Name, start);
    t.text = s_.mid(start + 1, at_ - start - 2);
    if (t.text.isEmpty()) syntaxError(QStringLiteral("A name can’t be empty."), start, at_);
    return t;
  }

  Token number() {
    const qsizetype start = at_;
    bool integral = true;
    while (at_ < s_.size() && isDigit(s_[at_].unicode())) ++at_;
    if (at_ < s_.size() && s_[at_] == u'.') {
      integral = false;
      ++at_;
      while (at_ < s_.size() && isDigit(s_[at_].unicode())) ++at_;
    }
    // An exponent only when digits follow the "e"; otherwise the "e" starts a word.
    if (at_ < s_.size() && (s_[at_] == u'e' || s_[at_] == u'E')) {
      qsizetype i = at_ + 1;
      if (i < s_.size() && (s_[i] == u'+' || s_[i] == u'-')) ++i;
      if (i < s_.size() && isDigit(s_[i].unicode())) {
        integral = false;
        at_ = i;
        while (at_ < s_.size() && isDigit(s_[at_].unicode())) ++at_;
      }
    }
    Token t = make(Token::Kind::Number, start);
    bool ok = false;
    const double r = t.text.toDouble(&ok);
    if (!ok || !std::isfinite(r))
      syntaxError(QStringLiteral("The number %1 is too large.").arg(t.text.left(40)), start, at_);
    t.number = integral && r <= double(kMaxInteger) ? Value::integer(qint32(r)) : Value::real(r);
    return t;
  }

  Token word() {
    const qsizetype start = at_;
    int width;
    while (at_ < s_.size() && isWordPart(at_, &width)) at_ += width;
    Token t = make(Token::Kind::Word, start);
    t.folded = t.text.toCaseFolded();
    return t;
  }

  Token symbol() {
    const qsizetype start = at_;
    static const char16_t* const kTwoUnit[] = {u"<=", u">="};
    for (const char16_t* two : kTwoUnit) {
      if (at_ + 1 < s_.size() && s_[at_] == two[0] && s_[at_ + 1] == two[1]) {
        at_ += 2;
        return make(Token::Kind::Symbol, start);
      }
    }
    static const QString kOneUnit = QStringLiteral("{}(),:&+-*/^=<>≠≤≥÷");
    if (kOneUnit.contains(s_[at_])) {
      ++at_;
      return make(Token::Kind::Symbol, start);
    }
    int width;
    codePointAt(at_, &width);
    syntaxError(QStringLiteral("Expected expression but found unknown token “%1”.")
                    .arg(s_.mid(at_, width)),
                at_, at_ + width);
  }

  const QString& s_;
  qsizetype at_ = 0;
};

// ---- parser ----------------------------------------------------------------------------------

// Words with a meaning in the language, which therefore cannot name a variable. Words of the
// full language that this subset leaves out are reserved too, so that scripts using them fail
// to compile rather than run with a different meaning.
const QSet<QString>& reservedWords() {
  static const QSet<QString> words = {
      "set", "to", "return", "true", "false", "as", "div", "mod", "is", "not", "and", "or",
      "equal", "equals", "item", "of", "count", "length", "first", "last", "text", "string",
      "integer", "real", "number", "list", "record", "boolean", "unicode", "pi", "space", "tab",
      "linefeed", "quote", "than", "less", "greater",
      // not in this subset
      "if", "then", "else", "repeat", "tell", "end", "on", "try", "error", "global", "local",
      "property", "considering", "ignoring", "with", "without", "script", "my", "me", "it",
      "its", "every", "whose", "where", "contains", "copy", "get", "exit", "while", "until",
      "times", "from", "thru", "through", "application", "does", "starts", "ends", "begins",
      "contain", "some", "middle"};
  return words;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

  Program script() {
    Program program;
    for (;;) {
      while (peek().kind == Token::Kind::Newline) ++at_;
      if (peek().kind == Token::Kind::End) break;
      program.statements.push_back(statement());
      if (peek().kind != Token::Kind::Newline && peek().kind != Token::Kind::End)
        expected(QStringLiteral("end of line"));
    }
    return program;
  }

 private:
  // Counts the parser's own recursion.
  class Nesting {
   public:
    explicit Nesting(Parser* p) : p_(p) {
      ++p_->nesting_;
      if (p_->nesting_ > kMaxNesting || stackIsLow()) tooDeep(p_->peek().from, p_->peek().to);
    }
    ~Nesting() { --p_->nesting_; }

   private:
    Parser* p_;
  };

  const Token& peek(size_t ahead = 0) const {
    return t_[std::min(at_ + ahead, t_.size() - 1)];
  }
  const Token& next() {
    const Token& t = peek();
    if (at_ < t_.size() - 1) ++at_;
    return t;
  }
  bool isWord(const char* word, size_t ahead = 0) const {
    const Token& t = peek(ahead);
    return t.kind == Token::Kind::Word && t.folded == QLatin1String(word);
  }
  bool isSymbol(const char16_t* symbol, size_t ahead = 0) const {
    const Token& t = peek(ahead);
    return t.kind == Token::Kind::Symbol && t.text == QStringView(symbol);
  }
  bool acceptWord(const char* word) {
    if (!isWord(word)) return false;
    ++at_;
    return true;
  }
  bool acceptSymbol(const char16_t* symbol) {
    if (!isSymbol(symbol)) return false;
    ++at_;
    return true;
  }
  void expectWord(const char* word) {
    if (!acceptWord(word)) expected(QStringLiteral("“%1”").arg(QLatin1String(word)));
  }
  void expectSymbol(const char16_t* symbol) {
    if (!acceptSymbol(symbol)) expected(QStringLiteral("“%1”").arg(QStringView(symbol)));
  }

  static QString describe(const Token& t) {
    switch (t.kind) {
      case Token::Kind::End: return QStringLiteral("end of script");
      case Token::Kind::Newline: return QStringLiteral("end of line");
      case Token::Kind::Text: return QStringLiteral("“\"”");
      case Token::Kind::Name: return QStringLiteral("“|%1|”").arg(t.text.left(40));
      default: return QStringLiteral("“%1”").arg(t.text.left(40));
    }
  }

  [[noreturn]] void expected(const QString& what) const {
    syntaxError(QStringLiteral("Expected %1 but found %2.").arg(what, describe(peek())),
                peek().from, peek().to);
  }

  bool isVariableName(const Token& t) const {
    return t.kind == Token::Kind::Name ||
           (t.kind == Token::Kind::Word && !reservedWords().contains(t.folded));
  }

  std::unique_ptr<Node> node(Node::Type type, qsizetype from) const {
    auto n = std::make_unique<Node>();
    n->type = type;
    n->from = from;
    n->to = at_ > 0 ? t_[at_ - 1].to : from;
    return n;
  }

  // Adds the children and checks that the tree stays shallow enough to walk.
  std::unique_ptr<Node> finish(std::unique_ptr<Node> n) const {
    n->depth = 1;
    for (const auto& child : n->children) n->depth = std::max(n->depth, child->depth + 1);
    if (n->depth > kMaxNesting) tooDeep(n->from, n->to);
    if (!n->children.empty()) n->to = std::max(n->to, n->children.back()->to);
    return n;
  }

  std::unique_ptr<Node> binary(Node::Type type, Node::Op op, std::unique_ptr<Node> left,
                               std::unique_ptr<Node> right) const {
    auto n = node(type, left->from);
    n->op = op;
    n->children.push_back(std::move(left));
    n->children.push_back(std::move(right));
    return finish(std::move(n));
  }

  Statement statement() {
    Statement s;
    s.from = peek().from;
    if (acceptWord("set")) {
      if (!isVariableName(peek())) expected(QStringLiteral("variable name"));
      s.kind = Statement::Kind::Set;
      s.name = next().text;
      expectWord("to");
      s.expr = expression();
    } else if (acceptWord("return")) {
      s.kind = Statement::Kind::Return;
      if (peek().kind != Token::Kind::Newline && peek().kind != Token::Kind::End)
        s.expr = expression();
    } else {
      s.expr = expression();
    }
    s.to = at_ > 0 ? t_[at_ - 1].to : s.from;
    return s;
  }

  std::unique_ptr<Node> expression() {
    Nesting guard(this);
    return orExpression();
  }

  std::unique_ptr<Node> orExpression() {
    auto left = andExpression();
    while (acceptWord("or")) left = binary(Node::Type::Or, Node::Op::Add, std::move(left), andExpression());
    return left;
  }

  std::unique_ptr<Node> andExpression() {
    auto left = notExpression();
    while (acceptWord("and"))
      left = binary(Node::Type::And, Node::Op::Add, std::move(left), notExpression());
    return left;
  }

  std::unique_ptr<Node> notExpression() {
    Nesting guard(this);
    const qsizetype from = peek().from;
    if (!acceptWord("not")) return equality();
    auto n = node(Node::Type::Not, from);
    n->children.push_back(notExpression());
    return finish(std::move(n));
  }

  // "is" followed by "less" or "greater" belongs to the comparisons.
  bool isOrderingIs() const { return isWord("is") && (isWord("less", 1) || isWord("greater", 1)); }

  std::unique_ptr<Node> equality() {
    auto left = comparison();
    for (;;) {
      Node::Op op;
      if (acceptSymbol(u"=")) {
        op = Node::Op::Equal;
      } else if (acceptSymbol(u"≠")) {
        op = Node::Op::NotEqual;
      } else if (acceptWord("equals")) {
        op = Node::Op::Equal;
      } else if (isWord("is") && !isOrderingIs()) {
        ++at_;
        op = acceptWord("not") ? Node::Op::NotEqual : Node::Op::Equal;
        if (acceptWord("equal")) expectWord("to");
      } else {
        return left;
      }
      left = binary(Node::Type::Binary, op, std::move(left), comparison());
    }
  }

  std::unique_ptr<Node> comparison() {
    auto left = coercion();
    for (;;) {
      Node::Op op;
      if (acceptSymbol(u"<")) {
        op = Node::Op::Less;
      } else if (acceptSymbol(u">")) {
        op = Node::Op::Greater;
      } else if (acceptSymbol(u"≤") || acceptSymbol(u"<=")) {
        op = Node::Op::LessOrEqual;
      } else if (acceptSymbol(u"≥") || acceptSymbol(u">=")) {
        op = Node::Op::GreaterOrEqual;
      } else if (isOrderingIs()) {
        ++at_;
        op = acceptWord("less") ? Node::Op::Less : (next(), Node::Op::Greater);
        expectWord("than");
      } else {
        return left;
      }
      left = binary(Node::Type::Binary, op, std::move(left), coercion());
    }
  }

  std::unique_ptr<Node> coercion() {
    auto left = concatenation();
    while (acceptWord("as")) {
      auto n = node(Node::Type::Coerce, left->from);
      n->target = className();
      n->children.push_back(std::move(left));
      left = finish(std::move(n));
    }
    return left;
  }

  Node::Class className() {
    if (acceptWord("text") || acceptWord("string")) return Node::Class::Text;
    if (acceptWord("unicode")) {
      expectWord("text");
      return Node::Class::Text;
    }
    if (acceptWord("integer")) return Node::Class::Integer;
    if (acceptWord("real")) return Node::Class::Real;
    if (acceptWord("number")) return Node::Class::Number;
    if (acceptWord("list")) return Node::Class::List;
    if (acceptWord("record")) return Node::Class::Record;
    if (acceptWord("boolean")) return Node::Class::Boolean;
    expected(QStringLiteral("class name"));
  }

  std::unique_ptr<Node> concatenation() {
    auto left = sum();
    while (acceptSymbol(u"&"))
      left = binary(Node::Type::Binary, Node::Op::Concat, std::move(left), sum());
    return left;
  }

  std::unique_ptr<Node> sum() {
    auto left = product();
    for (;;) {
      Node::Op op;
      if (acceptSymbol(u"+")) op = Node::Op::Add;
      else if (acceptSymbol(u"-")) op = Node::Op::Subtract;
      else return left;
      left = binary(Node::Type::Binary, op, std::move(left), product());
    }
  }

  std::unique_ptr<Node> product() {
    auto left = power();
    for (;;) {
      Node::Op op;
      if (acceptSymbol(u"*")) op = Node::Op::Multiply;
      else if (acceptSymbol(u"/") || acceptSymbol(u"÷")) op = Node::Op::Divide;
      else if (acceptWord("div")) op = Node::Op::Div;
      else if (acceptWord("mod")) op = Node::Op::Mod;
      else return left;
      left = binary(Node::Type::Binary, op, std::move(left), power());
    }
  }

  // Right-associative: 2 ^ 3 ^ 2 is 2 ^ 9.
  std::unique_ptr<Node> power() {
    Nesting guard(this);
    auto base = unary(true);
    if (!acceptSymbol(u"^")) return base;
    return binary(Node::Type::Binary, Node::Op::Power, std::move(base), power());
  }

  // allowOf is false for the index of "item i of x", whose "of" belongs to "item".
  std::unique_ptr<Node> unary(bool allowOf) {
    Nesting guard(this);
    const qsizetype from = peek().from;
    Node::Type type;
    if (acceptSymbol(u"-")) type = Node::Type::Negate;
    else if (acceptSymbol(u"+")) type = Node::Type::Plus;
    else return primary(allowOf);
    auto n = node(type, from);
    n->children.push_back(unary(allowOf));
    return finish(std::move(n));
  }

  std::unique_ptr<Node> literal(Value value, qsizetype from) const {
    auto n = node(Node::Type::Literal, from);
    n->value = std::move(value);
    return finish(std::move(n));
  }

  std::unique_ptr<Node> primary(bool allowOf) {
    Nesting guard(this);
    const Token& t = peek();
    const qsizetype from = t.from;
    switch (t.kind) {
      case Token::Kind::Number:
        next();
        return literal(t.number, from);
      case Token::Kind::Text:
        next();
        return literal(Value::text(t.text), from);
      case Token::Kind::Symbol:
        if (acceptSymbol(u"(")) {
          auto inner = expression();
          expectSymbol(u")");
          return inner;
        }
        if (acceptSymbol(u"{")) return braces(from);
        break;
      case Token::Kind::Name:
        return reference(allowOf);
      case Token::Kind::Word:
        if (isVariableName(t)) return reference(allowOf);
        return keywordPrimary(from);
      default:
        break;
    }
    expected(QStringLiteral("expression"));
  }

  std::unique_ptr<Node> keywordPrimary(qsizetype from) {
    static const struct {
      const char* word;
      Value (*make)();
    } kConstants[] = {
        {"true", [] { return Value::boolean(true); }},
        {"false", [] { return Value::boolean(false); }},
        {"pi", [] { return Value::real(3.14159265358979323846); }},
        {"space", [] { return Value::text(QStringLiteral(" ")); }},
        {"tab", [] { return Value::text(QStringLiteral("\t")); }},
        {"linefeed", [] { return Value::text(QStringLiteral("\n")); }},
        {"return", [] { return Value::text(QStringLiteral("\r")); }},
        {"quote", [] { return Value::text(QStringLiteral("\"")); }},
    };
    for (const auto& constant : kConstants)
      if (acceptWord(constant.word)) return literal(constant.make(), from);

    if (acceptWord("item")) {
      auto n = node(Node::Type::Item, from);
      n->children.push_back(unary(false));
      expectWord("of");
      n->children.push_back(primary(true));
      return finish(std::move(n));
    }
    if (isWord("first") || isWord("last")) {
      const bool first = next().folded == QLatin1String("first");
      expectWord("item");
      expectWord("of");
      auto n = node(Node::Type::Item, from);
      n->children.push_back(literal(Value::integer(first ? 1 : -1), from));
      n->children.push_back(primary(true));
      return finish(std::move(n));
    }
    if (acceptWord("count")) {
      acceptWord("of");
      auto n = node(Node::Type::Count, from);
      n->children.push_back(primary(true));
      return finish(std::move(n));
    }
    if (acceptWord("length")) {
      expectWord("of");
      auto n = node(Node::Type::Count, from);
      n->children.push_back(primary(true));
      return finish(std::move(n));
    }
    expected(QStringLiteral("expression"));
  }

  // A variable, or "label of record".
  std::unique_ptr<Node> reference(bool allowOf) {
    const Token& name = next();
    if (allowOf && acceptWord("of")) {
      auto n = node(Node::Type::Property, name.from);
      n->name = name.text;
      n->children.push_back(primary(true));
      return finish(std::move(n));
    }
    auto n = node(Node::Type::Variable, name.from);
    n->name = name.text;
    return finish(std::move(n));
  }

  bool isLabel(size_t ahead) const {
    const Token& t = peek(ahead);
    return t.kind == Token::Kind::Name || t.kind == Token::Kind::Word;
  }

  // After "{": a list, or a record when the first entry is "label:".
  std::unique_ptr<Node> braces(qsizetype from) {
    const bool record = isLabel(0) && isSymbol(u":", 1);
    auto n = node(record ? Node::Type::Record : Node::Type::List, from);
    if (!acceptSymbol(u"}")) {
      for (;;) {
        if (record) {
          if (!isLabel(0)) expected(QStringLiteral("label"));
          const Token& label = next();
          for (const QString& seen : n->labels)
            if (sameLabel(seen, label.text))
              syntaxError(QStringLiteral("The label %1 is used twice.").arg(label.text.left(40)),
                          label.from, label.to);
          n->labels.push_back(label.text);
          expectSymbol(u":");
        }
        n->children.push_back(expression());
        if (acceptSymbol(u"}")) break;
        if (!acceptSymbol(u",")) expected(QStringLiteral("“,” or “}”"));
      }
    }
    n->to = t_[at_ - 1].to;
    return finish(std::move(n));
  }

  std::vector<Token> t_;
  size_t at_ = 0;
  int nesting_ = 0;
};

}  // namespace

Node::~Node() {
  // Released level by level, not recursively, so that a deep tree needs no stack.
  std::vector<std::unique_ptr<Node>> pending = std::move(children);
  while (!pending.empty()) {
    std::unique_ptr<Node> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children) pending.push_back(std::move(child));
    node->children.clear();
  }
}

Program parse(const QString& source) { return Parser(Tokenizer(source).run()).script(); }

}  // namespace applescript
