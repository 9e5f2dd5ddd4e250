// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <pthread.h>
#include <random>

#include "platform/cocoa/AppleScript.h"
#include "tests/foundation/PrintQString.h"

namespace {

struct Outcome {
  std::optional<NSAppleEventDescriptor> result;
  QVariantMap error;
  int errorNumber() const { return error.value(NSAppleScriptErrorNumber).toInt(); }
};

Outcome execute(const QString& source) {
  NSAppleScript script(source);
  Outcome o;
  o.result = script.executeAndReturnError(&o.error);
  return o;
}

// The result's text, or a description of the failure so that a mismatch says what happened.
QString textOf(const QString& source) {
  const Outcome o = execute(source);
  if (!o.result)
    return QStringLiteral("<error %1: %2>")
        .arg(o.errorNumber())
        .arg(o.error.value(NSAppleScriptErrorMessage).toString());
  const QString text = o.result->stringValue();
  return text.isNull() ? QStringLiteral("<no text>") : text;
}

int errorOf(const QString& source) {
  const Outcome o = execute(source);
  EXPECT_FALSE(o.result) << source.toStdString() << " gave " << o.result->stringValue().toStdString();
  EXPECT_TRUE(o.error.contains(NSAppleScriptErrorMessage)) << source.toStdString();
  return o.errorNumber();
}

DescType typeOf(const QString& source) {
  const Outcome o = execute(source);
  return o.result ? o.result->descriptorType() : 0;
}

void expectTexts(const std::vector<std::pair<const char*, const char*>>& cases) {
  for (const auto& [source, text] : cases)
    EXPECT_EQ(textOf(QString::fromUtf8(source)), QString::fromUtf8(text)) << source;
}

void expectErrors(int number, const std::vector<const char*>& sources) {
  for (const char* source : sources) EXPECT_EQ(errorOf(QString::fromUtf8(source)), number) << source;
}

using D = NSAppleEventDescriptor;

TEST(AppleScript, ResultDescriptorTypes) {
  const std::pair<const char*, DescType> cases[] = {
      {"\"a\"", D::typeUnicodeText}, {"3 as text", D::typeUnicodeText}, {"1", D::typeSInt32},
      {"\"7\" as number", D::typeSInt32}, {"1.5", D::typeIEEE64BitFloatingPoint},
      {"1 / 1", D::typeIEEE64BitFloatingPoint}, {"\"7.0\" as number", D::typeIEEE64BitFloatingPoint},
      {"true", D::typeTrue}, {"1 = 2", D::typeFalse}, {"{}", D::typeAEList}, {"5 as list", D::typeAEList},
      {"1 & 2", D::typeAEList}, {"{a:1}", D::typeAERecord}, {"{} as record", D::typeAERecord},
      {"{a:1} & {b:2, A:3}", D::typeAERecord}, {"", D::typeNull}, {"return", D::typeNull},
      {"return\n5", D::typeNull}};
  for (const auto& [source, type] : cases) EXPECT_EQ(typeOf(source), type) << source;
  EXPECT_EQ(D::typeAEList, 0x6c697374u);  // 'list', as scripts written elsewhere expect
}

TEST(AppleScript, ListAndRecordDescriptors) {
  const Outcome list = execute("{1, \"two\", {3}, 4.5}");
  ASSERT_TRUE(list.result);
  EXPECT_TRUE(list.error.isEmpty());
  EXPECT_TRUE(list.result->stringValue().isNull());
  ASSERT_EQ(list.result->numberOfItems(), 4);
  EXPECT_EQ(list.result->descriptorAtIndex(1)->int32Value(), 1);
  EXPECT_EQ(list.result->descriptorAtIndex(2)->stringValue(), "two");
  EXPECT_EQ(list.result->descriptorAtIndex(3)->descriptorType(), D::typeAEList);
  EXPECT_EQ(list.result->descriptorAtIndex(3)->descriptorAtIndex(1)->int32Value(), 3);
  EXPECT_DOUBLE_EQ(list.result->descriptorAtIndex(4)->doubleValue(), 4.5);
  EXPECT_FALSE(list.result->descriptorAtIndex(0));
  EXPECT_FALSE(list.result->descriptorAtIndex(5));
  EXPECT_FALSE(list.result->descriptorAtIndex(-1));

  const Outcome record = execute("{name:\"Ann\", Age:30, ok:true}");
  ASSERT_TRUE(record.result);
  EXPECT_TRUE(record.result->stringValue().isNull());
  ASSERT_EQ(record.result->numberOfItems(), 3);
  EXPECT_EQ(record.result->labelAtIndex(2), "Age");
  EXPECT_EQ(record.result->descriptorAtIndex(2)->int32Value(), 30);
  EXPECT_TRUE(record.result->descriptorAtIndex(3)->booleanValue());
  EXPECT_TRUE(record.result->labelAtIndex(4).isNull());

  const Outcome text = execute("\"abc\"");
  EXPECT_EQ(text.result->numberOfItems(), 0);
  EXPECT_FALSE(text.result->descriptorAtIndex(1));
  EXPECT_TRUE(D::nullDescriptor().stringValue().isNull());
  EXPECT_EQ(D::nullDescriptor().descriptorType(), D::typeNull);
}

TEST(AppleScript, Arithmetic) {
  expectTexts({
      {"1 + 2 * 3", "7"}, {"10 - 2 - 3", "5"}, {"100 / 4 / 5", "5.0"}, {"1 / 3", "0.333333333333"},
      {"2 ^ 10", "1024.0"}, {"2 ^ 3 ^ 2", "512.0"}, {"-2 ^ 2", "4.0"}, {"2 ^ -1", "0.5"},
      {"7 div 2", "3"}, {"-7 div 2", "-3"}, {"7.9 div 2", "3"}, {"-7 mod 3", "-1"},
      {"7 mod -3", "1"}, {"7.5 mod 2", "1.5"}, {"- - 3", "3"}, {"+\"4\"", "4"},
      {".5 + 1", "1.5"}, {"1e3", "1000.0"}, {"2.5E-3 * 2", "0.005"}, {"7 ÷ 2", "3.5"},
      {"\"3\" + 4", "7"}, {"{5} * 2", "10"}, {"\"2.5\" * 2", "5.0"}, {"0.1 + 0.2", "0.3"},
      // Integers are 30-bit: results beyond become reals.
      {"536870911 + 1", "5.36870912E+8"}, {"-536870911 - 2", "-5.36870913E+8"},
      {"20000 * 30000", "6.0E+8"}, {"536870911", "536870911"}, {"536870912", "5.36870912E+8"},
      {"99999999999", "9.9999999999E+10"}, {"10000.0", "1.0E+4"}, {"9999.5", "9999.5"},
      {"0.0001", "1.0E-4"}, {"0.001", "0.001"}, {"-0.0", "0.0"},
  });
}

TEST(AppleScript, Concatenation) {
  expectTexts({{"\"a\" & 1", "a1"}, {"\"a\" & {1, \"b\", {2.5}}", "a1b2.5"}, {"\"x\" & 2.5", "x2.5"},
               {"\"\" & true", "true"}, {"\"a\" & \"\"", "a"}, {"\"snow\" & \"man\" as text", "snowman"}});
  for (const auto& [source, count] : std::vector<std::pair<const char*, int>>{
           {"1 & 2", 2}, {"{1} & 2", 2}, {"{1} & {2, 3}", 3}, {"{1} & {{2, 3}}", 2}, {"{} & {}", 0},
           {"1 & {b:2, c:3}", 3}, {"{a:1} & {b:2, A:3}", 2}, {"{a:1, b:\"x\"} as list", 2}}) {
    const Outcome o = execute(source);
    ASSERT_TRUE(o.result) << source;
    EXPECT_EQ(o.result->numberOfItems(), count) << source;
  }
  expectTexts({{"a of ({a:1} & {b:2, A:3})", "1"}, {"b of ({a:1} & {b:2, A:3})", "2"}});
  expectErrors(-1700, {"\"a\" & {x:1}", "{a:1} & 2", "{a:1} & {1}"});
}

TEST(AppleScript, Coercions) {
  expectTexts({{"3 as text", "3"}, {"3 as string", "3"}, {"\"x\" as Unicode text", "x"},
               {"2.5 as integer", "2"}, {"3.5 as integer", "4"}, {"-2.5 as integer", "-2"},
               {"\"12\" as integer", "12"}, {"\" 12 \" as integer", "12"}, {"\"1.5\" as real", "1.5"},
               {"7 as real", "7.0"}, {"\"7\" as number", "7"}, {"\"7.0\" as number", "7.0"},
               {"\"true\" as boolean", "true"}, {"1 as boolean", "true"}, {"0 as boolean", "false"},
               {"{1, {2, \"x\"}} as text", "12x"}, {"true as text", "true"},
               {"1 + 1 as text", "2"}, {"(1 as text) & 1", "11"}});
  expectErrors(-1700, {"\"abc\" as integer", "\"\" as number", "\"1e\" as real", "{1, 2} as integer",
                       "2 as boolean", "{a:1} as text", "{1, {a:1}} as text", "5 as record",
                       "\"maybe\" as boolean", "\"1e999\" as real", "1.0E+10 as integer",
                       "true + 1"});
}

TEST(AppleScript, ComparisonsAndLogic) {
  expectTexts({{"\"ABC\" = \"abc\"", "true"}, {"1 = 1.0", "true"}, {"1 = \"1\"", "false"},
               {"{1, \"a\"} = {1, \"A\"}", "true"}, {"{1, 2} = {1}", "false"},
               {"{a:1, b:2} = {B:2, a:1}", "true"}, {"{a:1} = {b:1}", "false"},
               {"2 < 10", "true"}, {"\"2\" < 10", "false"}, {"2 < \"10\"", "true"},
               {"\"apple\" < \"Banana\"", "true"}, {"3 ≥ 3", "true"}, {"3 >= 4", "false"},
               {"2 ≤ 1", "false"}, {"2 <= 2", "true"}, {"3 is not 4", "true"}, {"3 is 3", "true"},
               {"3 is equal to 3", "true"}, {"3 is not equal to 3", "false"}, {"3 equals 4", "false"},
               {"3 is greater than 2", "true"}, {"2 is less than 1", "false"}, {"1 ≠ 1", "false"},
               {"true and false", "false"}, {"false or true", "true"}, {"not (1 = 2)", "true"},
               {"not not true", "true"}, {"1 < 2 and 2 < 3", "true"},
               {"false and (1 / 0)", "false"}, {"true or (1 / 0)", "true"}});
  expectErrors(-1700, {"{1} < 2", "true < false", "\"a\" < {a:1}", "2 and true", "not 5"});
}

TEST(AppleScript, ItemsCountsAndProperties) {
  expectTexts({{"item 2 of {\"a\", \"b\", \"c\"}", "b"}, {"item -1 of {1, 2, 3}", "3"},
               {"first item of {7, 8}", "7"}, {"last item of {7, 8}", "8"},
               {"item 1 of item 2 of {1, {\"deep\"}}", "deep"}, {"item 2.0 of {5, 6}", "6"},
               {"set i to 2\nitem i of {5, 6}", "6"}, {"item (1 + 1) of {5, 6}", "6"},
               {"count of {1, 2, 3}", "3"}, {"count {}", "0"}, {"count {a:1, b:2}", "2"},
               {"length of \"héllo\"", "5"}, {"count \"e\xcc\x81t\xc3\xa9\"", "3"},
               {"item 2 of \"abc\"", "b"}, {"item -1 of \"abc\"", "c"},
               {"name of {name:\"Ann\"}", "Ann"}, {"NAME of {Name:\"Ann\"}", "Ann"},
               {"count of {1, 2} + 1", "3"}});
  expectErrors(-1728, {"item 0 of {1}", "item 3 of {1, 2}", "item -3 of {1, 2}", "item 4 of \"abc\"",
                       "age of {name:1}", "count 5", "item 1 of {a:1}", "name of {1}",
                       "item 99999999999 of {1}"});
  expectErrors(-1700, {"item 1.5 of {1, 2}", "item \"x\" of {1}"});
}

TEST(AppleScript, StatementsAndVariables) {
  expectTexts({{"set x to 5", "5"}, {"1 + 1\nresult * 10", "20"},
               {"SET Total TO 3\nreturn total", "3"}, {"set |my var| to 4\n|MY VAR| + 1", "5"},
               {"set x to 1\nset x to x + 1\nx", "2"}, {"return 1\nnobodyDefinedThis", "1"},
               {"\n\n   set a to \"lead\"  \n\n\ta\n\n", "lead"}, {"set result to 3\nresult", "3"},
               {"return return & linefeed", "\r\n"}});

  NSAppleScript script("set n to 20\nn + 1");
  EXPECT_FALSE(script.isCompiled());
  EXPECT_TRUE(script.compile(nullptr));
  EXPECT_TRUE(script.isCompiled());
  EXPECT_EQ(script.executeAndReturnError(nullptr)->int32Value(), 21);
  EXPECT_EQ(script.executeAndReturnError(nullptr)->int32Value(), 21);
  EXPECT_EQ(script.source(), "set n to 20\nn + 1");
}

TEST(AppleScript, LexicalForms) {
  expectTexts({{"-- a comment\n1 (* block (* nested *) still *) + 1 # another", "2"},
               {"1 # the next line is a statement of its own\n+ 5", "5"},
               {"(* one line *) 3", "3"}, {"1 + ¬\n 2", "3"}, {"1 + ¬  -- why\r\n2", "3"},
               {"set x to 1\r\nset y to 2\rx + y", "3"},
               {R"("say \"hi\" \\ now\tend")", "say \"hi\" \\ now\tend"}, {"\"a\nb\"", "a\nb"},
               {"\"a\" & space & \"b\"", "a b"}, {"quote & \"x\" & quote", "\"x\""},
               {"tab", "\t"}, {"pi", "3.14159265359"}, {"\"a--b\"", "a--b"},
               {"\"日本語\" & \"\xf0\x9f\x98\x80\"", "日本語\xf0\x9f\x98\x80"},
               {"set café to 2\ncafé", "2"}, {"set _x1 to 2\n_X1", "2"}});
}

TEST(AppleScript, SyntaxErrorsDoNotCompile) {
  expectErrors(-2741,
               {"set x to", "set 1 to 2", "set pi to 3", "set to 3", "\"open", "(1", "{1, 2", "{a:1, 2}",
                "{a:1, a:2}", "{a:1, A:2}", "1 +", "1 2", "* 3", "@", "x as banana", "\"a\\q\"",
                "(* never closed", "|unterminated", "||", "1 ¬ 2", "if true then 1",
                "repeat 3 times", "tell app \"x\"", "3 is less 4", "item 1 {1}", ")", "{,}",
                "1 +\n2", "end", "set x to 1 set y to 2", "first 1 of {1}", "x of", "{1,}"});
  NSAppleScript bad("set x to 1\n1 2");
  QVariantMap info;
  EXPECT_FALSE(bad.compile(&info));
  EXPECT_FALSE(bad.isCompiled());
  EXPECT_EQ(info.value(NSAppleScriptErrorNumber).toInt(), -2741);
  EXPECT_EQ(info.value(NSAppleScriptErrorRange).toList(), (QVariantList{13, 1}));
  EXPECT_TRUE(info.value(NSAppleScriptErrorMessage).toString().contains("end of line"));
  EXPECT_FALSE(info.value(NSAppleScriptErrorBriefMessage).toString().isEmpty());
  QVariantMap atEnd;
  NSAppleScript(QStringLiteral("1 +")).compile(&atEnd);
  EXPECT_TRUE(atEnd.value(NSAppleScriptErrorMessage).toString().contains("end of script"));
}

TEST(AppleScript, RunTimeErrors) {
  expectErrors(-2753, {"undefinedVariable", "set a to b", "1 + result"});
  expectErrors(-2701, {"1 / 0", "1 div 0", "5 mod 0", "1.0 / 0.0", "1 / (1 - 1)", "0 / 0"});
  expectErrors(-2702, {"1.0E+308 * 10", "10 ^ 400", "0 ^ -1", "(-8) ^ 0.5"});
  expectErrors(-1700, {"\"x\" + 1", "{1, 2} - 1", "{a:1} * 2"});

  const Outcome undefinedName = execute("set a to 1\nset b to a + c");
  EXPECT_EQ(undefinedName.error.value(NSAppleScriptErrorRange).toList(), (QVariantList{24, 1}));
  EXPECT_TRUE(undefinedName.error.value(NSAppleScriptErrorMessage).toString().contains(" c "));
  const Outcome byZero = execute("set d to 0\n7 / d");
  EXPECT_EQ(byZero.error.value(NSAppleScriptErrorMessage).toString(), "Can’t divide 7 by zero.");
}

QString repeated(const QString& piece, int times) { return piece.repeated(times); }

bool answersOrNumbersItsError(const QString& source) {
  const Outcome o = execute(source);
  return o.result || o.errorNumber() != 0;
}

TEST(AppleScript, DeepNestingFailsCleanly) {
  for (const QString& source :
       {repeated("(", 5000) + "1" + repeated(")", 5000), repeated("{", 5000) + repeated("}", 5000),
        repeated("- ", 20000) + "1", repeated("not ", 5000) + "true", "1" + repeated(" + 1", 5000),
        "\"\"" + repeated(" & \"a\"", 5000), repeated("item 1 of ", 3000) + "{1}",
        "2" + repeated(" ^ 2", 5000), repeated("(", 100000)}) {
    const Outcome o = execute(source);
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.errorNumber(), -2706) << source.left(30).toStdString();
  }
  // Nesting within the limits is fine.
  EXPECT_EQ(textOf(repeated("(", 150) + "6" + repeated(")", 150) + " * 7"), "42");
  EXPECT_EQ(textOf("1" + repeated(" + 1", 500)), "501");
  const Outcome lists = execute(repeated("{", 150) + "\"core\"" + repeated("}", 150));
  ASSERT_TRUE(lists.result);
  EXPECT_EQ(lists.result->numberOfItems(), 1);
  // Values nested a level per statement are capped as well.
  EXPECT_EQ(errorOf("set x to 1\n" + repeated("set x to {x}\n", 300) + "x"), -2706);
}

// Runs the script on a thread of its own with the given stack.
Outcome executeOnThread(const QString& source, std::size_t stackBytes) {
  struct Job {
    const QString* source;
    Outcome outcome;
  } job{&source, {}};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, stackBytes);
  pthread_t thread;
  const int started = pthread_create(
      &thread, &attributes,
      [](void* data) -> void* {
        auto* job = static_cast<Job*>(data);
        job->outcome = execute(*job->source);
        return nullptr;
      },
      &job);
  pthread_attr_destroy(&attributes);
  EXPECT_EQ(started, 0);
  if (started == 0) pthread_join(thread, nullptr);
  return job.outcome;
}

// The deepest scripts the limits allow run on small threads too: the same answer where the
// stack suffices, else a clean stack overflow, never a crash.
TEST(AppleScript, DeepScriptsFitSmallThreads) {
  const std::vector<std::pair<QString, QString>> cases = {
      {repeated("(", 199) + "1" + repeated(")", 199), "1"},
      {repeated("{", 199) + "1" + repeated("}", 199), "<no text>"},
      {repeated("- ", 990) + "1", "1"},
      {repeated("not ", 990) + "true", "true"},
      {"2" + repeated(" ^ 1", 330), "2.0"},
      {repeated("item 1 of {", 150) + "1" + repeated("}", 150), "1"},
      {repeated("- (", 160) + "1" + repeated(")", 160), "1"},
      {repeated("(", 5000) + "1" + repeated(")", 5000), "<error -2706>"},
  };
  const auto describe = [](const Outcome& o) {
    return o.result ? (o.result->stringValue().isNull() ? QStringLiteral("<no text>") : o.result->stringValue())
                    : QStringLiteral("<error %1>").arg(o.errorNumber());
  };
  for (const auto& [source, text] : cases) {
    for (const std::size_t stack : {std::size_t(512) << 10, std::size_t(192) << 10, std::size_t(8) << 20}) {
      const QString got = describe(executeOnThread(source, stack));
      if (stack >= (std::size_t(512) << 10) || got != "<error -2706>") {
        EXPECT_EQ(got, text) << source.left(20).toStdString() << " on " << (stack >> 10) << " KB";
      }
    }
  }
}

// Work is capped per run: many passes over a long text stop with a clear error.
TEST(AppleScript, TooMuchWorkStopsTheScript) {
  const QString text = "set a to \"" + repeated("ab", 1000000) + "\"\n";
  const std::vector<std::pair<QString, QString>> cases = {
      {text + "count of a", "2000000"},
      {text + repeated("count of a\n", 200), "<error -1712>"},
      {text + repeated("set b to a & a\n", 200), "<error -1712>"},
      {text + repeated("a = a\n", 200), "<error -1712>"},
      {"set n to 0\n" + repeated("set n to n + (count of \"abc\")\n", 2000) + "n", "6000"},
  };
  for (const auto& [source, expected] : cases) {
    const Outcome o = execute(source);
    EXPECT_EQ(o.result ? o.result->stringValue() : QStringLiteral("<error %1>").arg(o.errorNumber()), expected)
        << source.right(30).toStdString();
    if (!o.result) {
      EXPECT_TRUE(o.error.value(NSAppleScriptErrorMessage).toString().contains("too much work"));
    }
  }
}

TEST(AppleScript, HugeValuesFailCleanly) {
  EXPECT_EQ(errorOf(repeated("9", 400)), -2741);
  EXPECT_EQ(textOf(repeated("9", 20)), "1.0E+20");
  EXPECT_EQ(errorOf("\"" + repeated("x", 1 << 20)), -2741);  // unterminated, and long
  EXPECT_EQ(errorOf("set t to \"0123456789abcdef\"\n" + repeated("set t to t & t\n", 40) + "t"),
            -108);
  EXPECT_EQ(errorOf("set t to {1, 2, 3, 4}\n" + repeated("set t to t & t\n", 40) + "t"), -108);
  // Items shared by reference still count each time they appear, so this stays small.
  EXPECT_EQ(errorOf("set t to {1, 2}\n" + repeated("set t to {t, t}\n", 60) + "t = t"), -108);
  EXPECT_EQ(errorOf("set t to {\"ab\"}\n" + repeated("set t to {t, t}\n", 40) + "t as text"), -108);
  EXPECT_EQ(textOf("count (\"" + repeated("ab", 100000) + "\" & \"c\")"), "200001");
}

TEST(AppleScript, ArbitraryInputNeverCrashes) {
  // Scripts stitched from the language's own pieces reach deep into the parser and the
  // evaluator; every one must either answer or report an error number.
  const std::vector<QString> pieces = {
      "set ", "x", " to ", "return ", "1", "2.5", "1e3", "\"t\"", "\"", "{", "}", "(", ")", ",",
      ":", "a", " & ", " + ", " - ", " * ", " / ", " div ", " mod ", " ^ ", " = ", " < ", " as ",
      "text", "list", "integer", "record", " of ", "item ", "count ", "not ", " and ", " or ",
      "\n", "¬", "--", "(*", "*)", "|", "\\", "#", " is ", "true", "-", "0", "result", "pi", "@",
      "≠", "≤", "'", "ü", "\xf0\x9f\x98\x80", "\r", " "};
  std::mt19937 random(20240517);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(1, 40);
  for (int i = 0; i < 3000; ++i) {
    QString source;
    for (int n = length(random); n > 0; --n) source += pieces[pick(random)];
    EXPECT_TRUE(answersOrNumbersItsError(source)) << source.toStdString();
  }
  // And raw UTF-16 units, lone surrogates included.
  std::uniform_int_distribution<int> unit(0, 0xFFFF);
  for (int i = 0; i < 500; ++i) {
    QString source;
    for (int n = length(random); n > 0; --n) source += QChar(char16_t(unit(random)));
    EXPECT_TRUE(answersOrNumbersItsError(source));
  }
}

}  // namespace
