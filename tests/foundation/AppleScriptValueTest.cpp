// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "platform/cocoa/AppleScriptValue.h"
#include "tests/foundation/PrintQString.h"

using namespace applescript;

namespace {

TEST(AppleScriptValue, RealTextFollowsTheLanguage) {
  const std::pair<double, const char*> cases[] = {
      {3.5, "3.5"},           {-2.25, "-2.25"},         {10, "10.0"},
      {9999.0, "9999.0"},     {10000, "1.0E+4"},        {-12345.678, "-1.2345678E+4"},
      {0.001, "0.001"},       {0.00099, "9.9E-4"},      {2.5e-7, "2.5E-7"},
      {1e100, "1.0E+100"},    {1.0 / 3, "0.333333333333"}, {2.0 / 3, "0.666666666667"},
      {123456789012345.0, "1.23456789012E+14"},         {9999.99999999999, "1.0E+4"},
      {0, "0.0"},             {-0.0, "0.0"},            {1e-300, "1.0E-300"}};
  for (const auto& [r, text] : cases) EXPECT_EQ(realText(r), QString(text)) << r;
}

TEST(AppleScriptValue, TextReadsAsANumberOnlyWhenItIsOne) {
  EXPECT_EQ(toNumber(Value::text(" 12 ")).kind(), Value::Kind::Integer);
  EXPECT_EQ(toNumber(Value::text("+3")).integerValue(), 3);
  EXPECT_EQ(toNumber(Value::text("-3")).integerValue(), -3);
  EXPECT_EQ(toNumber(Value::text("1e2")).kind(), Value::Kind::Real);
  EXPECT_EQ(toNumber(Value::text("1.")).realValue(), 1.0);
  EXPECT_EQ(toNumber(Value::text(".5")).realValue(), 0.5);
  EXPECT_EQ(toNumber(Value::text("536870912")).kind(), Value::Kind::Real);
  for (const char* bad : {"", " ", "abc", "1e", "0x10", "1 2", "1..2", "--1", ".", "e5", "1,5",
                          "١٢"}) {
    try {
      toNumber(Value::text(bad));
      ADD_FAILURE() << bad << " read as a number";
    } catch (const ScriptError& e) {
      EXPECT_EQ(e.number, kErrCoercion);
    }
  }
}

TEST(AppleScriptValue, IntegerCoercionRoundsHalvesToEven) {
  EXPECT_EQ(toInteger(Value::real(0.5)), 0);
  EXPECT_EQ(toInteger(Value::real(1.5)), 2);
  EXPECT_EQ(toInteger(Value::real(-1.5)), -2);
  EXPECT_EQ(toInteger(Value::real(2.4999)), 2);
  EXPECT_EQ(toInteger(Value::real(536870911.4)), 536870911);
  EXPECT_THROW(toInteger(Value::real(536870912)), ScriptError);
  EXPECT_THROW(toInteger(Value::real(-536870913)), ScriptError);
}

TEST(AppleScriptValue, NumbersStayWithinTheIntegerRange) {
  EXPECT_EQ(Value::numberFromInteger(kMaxInteger).kind(), Value::Kind::Integer);
  EXPECT_EQ(Value::numberFromInteger(kMaxInteger + 1).kind(), Value::Kind::Real);
  EXPECT_EQ(Value::numberFromInteger(kMinInteger).kind(), Value::Kind::Integer);
  EXPECT_EQ(Value::numberFromInteger(kMinInteger - 1).kind(), Value::Kind::Real);
  EXPECT_EQ(Value::number(4.0).kind(), Value::Kind::Integer);
  EXPECT_EQ(Value::number(4.5).kind(), Value::Kind::Real);
  EXPECT_THROW(Value::real(INFINITY), ScriptError);
  EXPECT_THROW(Value::real(NAN), ScriptError);
}

TEST(AppleScriptValue, SourceTextQuotesAndCutsShort) {
  const Value record = Value::record(
      {{"name", Value::text("a \"b\" \\")}, {"n", Value::list({Value::integer(1), Value::real(2.5)})}});
  EXPECT_EQ(sourceText(record), R"({name:"a \"b\" \\", n:{1, 2.5}})");
  EXPECT_EQ(sourceText(Value()), "missing value");
  std::vector<Value> many(10000, Value::text("item"));
  const QString cut = sourceText(Value::list(std::move(many)), 50);
  EXPECT_LT(cut.size(), 80);
  EXPECT_TRUE(cut.endsWith(", …}"));
}

TEST(AppleScriptValue, EqualityNeedsTheSameClassExceptForNumbers) {
  EXPECT_TRUE(equal(Value::integer(2), Value::real(2.0)));
  EXPECT_FALSE(equal(Value::integer(2), Value::text("2")));
  EXPECT_FALSE(equal(Value::boolean(true), Value::integer(1)));
  EXPECT_FALSE(equal(Value::list({}), Value::record({})));
  EXPECT_TRUE(equal(Value(), Value()));
  EXPECT_TRUE(equal(Value::text(QStringLiteral("STRASSE")), Value::text(QStringLiteral("strasse"))));
  EXPECT_FALSE(equal(Value::text(QStringLiteral("é")), Value::text(QStringLiteral("e"))));
}

TEST(AppleScriptValue, CharactersAreWhatTheUserSees) {
  const QString text = QStringLiteral("e\u0301t\U0001F600!");
  EXPECT_EQ(characterCount(text), 4);
  EXPECT_EQ(characterAt(text, 1), QStringLiteral("e\u0301"));
  EXPECT_EQ(characterAt(text, 3), QStringLiteral("\U0001F600"));
  EXPECT_EQ(characterAt(text, -1), "!");
  EXPECT_EQ(characterAt(text, -4), QStringLiteral("e\u0301"));
  EXPECT_TRUE(characterAt(text, 5).isNull());
  EXPECT_TRUE(characterAt(text, -5).isNull());
  EXPECT_TRUE(characterAt(text, 0).isNull());
  EXPECT_EQ(characterCount(QString()), 0);
}

TEST(AppleScriptValue, SizeAndDepthAreCapped) {
  Value v = Value::integer(1);
  for (int i = 0; i < kMaxDepth; ++i) v = Value::list({v});
  EXPECT_EQ(v.depth(), kMaxDepth);
  try {
    Value::list({v});
    ADD_FAILURE() << "nested past the cap";
  } catch (const ScriptError& e) {
    EXPECT_EQ(e.number, kErrStackOverflow);
  }
  const Value big = Value::text(QString(kMaxSize / 2, QLatin1Char('x')));
  EXPECT_THROW(Value::list({big, big, big}), ScriptError);
  EXPECT_THROW(Value::record({{"a", big}, {"b", big}, {"c", big}}), ScriptError);
  // Numbers are small values with long text forms.
  const Value numbers = Value::list(std::vector<Value>(450000, Value::integer(-536870912)));
  EXPECT_THROW(toText(numbers), ScriptError);
  EXPECT_THROW(Value::text(QString(kMaxSize + 1, QLatin1Char('x'))), ScriptError);
  EXPECT_FALSE(Value::text(QString()).textValue().isNull());
}

}  // namespace
