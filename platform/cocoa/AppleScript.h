// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Running script source, in the shape of the platform's NSAppleScript and its result
// descriptors (NSAppleEventDescriptor).
//
// Linux has no script component, so the runner understands a subset of the scripting
// language: text, number, boolean, list and record literals; variables ("set x to ...");
// "return"; arithmetic (+ - * / div mod ^); "&"; comparisons; "and", "or", "not";
// "as text/integer/real/number/list/record/boolean"; "item i of", "count of", "length of" and
// "label of record". AppleScriptParser.h has the grammar. Other constructs fail to compile;
// a name never set fails when the script runs. Nesting is bounded by the stack the thread
// has left (error -2706), the work of one run by a fixed amount (error -1712).
#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "platform/carbon/MacTypes.h"

typedef FourCharCode DescType;

namespace applescript {
class Value;
struct Program;
}  // namespace applescript

// Keys of the error information that a failed compile or run fills in.
inline constexpr char NSAppleScriptErrorMessage[] = "NSAppleScriptErrorMessage";
inline constexpr char NSAppleScriptErrorBriefMessage[] = "NSAppleScriptErrorBriefMessage";
inline constexpr char NSAppleScriptErrorNumber[] = "NSAppleScriptErrorNumber";  // int
// The part of the source at fault, as a list {location, length} in UTF-16 units; absent when
// the failure has no place in the source.
inline constexpr char NSAppleScriptErrorRange[] = "NSAppleScriptErrorRange";

// An immutable result value with its platform type code.
class NSAppleEventDescriptor {
 public:
  static constexpr DescType typeNull = FOUR_CHAR_CODE("null");
  static constexpr DescType typeTrue = FOUR_CHAR_CODE("true");
  static constexpr DescType typeFalse = FOUR_CHAR_CODE("fals");
  static constexpr DescType typeSInt32 = FOUR_CHAR_CODE("long");
  static constexpr DescType typeIEEE64BitFloatingPoint = FOUR_CHAR_CODE("doub");
  static constexpr DescType typeUnicodeText = FOUR_CHAR_CODE("utxt");
  static constexpr DescType typeAEList = FOUR_CHAR_CODE("list");
  static constexpr DescType typeAERecord = FOUR_CHAR_CODE("reco");

  static NSAppleEventDescriptor nullDescriptor();
  explicit NSAppleEventDescriptor(const applescript::Value& value);

  DescType descriptorType() const;
  // The value coerced to text: text itself, integers in decimal, reals as the language
  // writes them ("3.5", "1.0E+4"), booleans "true" or "false". Null for lists, records and
  // the null descriptor, which have no text form.
  QString stringValue() const;
  qint32 int32Value() const;  // numbers (reals rounded), 0 otherwise
  double doubleValue() const;  // numbers, 0 otherwise
  bool booleanValue() const;
  // Items of a list, or the values of a record in order; 0 for anything else.
  qint32 numberOfItems() const;
  // Counts from 1; nothing when out of range or not a list or record.
  std::optional<NSAppleEventDescriptor> descriptorAtIndex(long index) const;
  // The label of a record's entry, counted from 1; null otherwise.
  QString labelAtIndex(long index) const;

 private:
  std::shared_ptr<const applescript::Value> value_;
};

class NSAppleScript {
 public:
  explicit NSAppleScript(const QString& source);  // initWithSource
  ~NSAppleScript();
  NSAppleScript(const NSAppleScript&) = delete;
  NSAppleScript& operator=(const NSAppleScript&) = delete;

  QString source() const { return source_; }
  bool isCompiled() const { return program_ != nullptr; }
  // False when the source does not compile; errorInfo (may be null) then gets the details.
  bool compile(QVariantMap* errorInfo);
  // Compiles when needed, then runs the script with fresh variables and answers its result
  // (the null descriptor when it has none). Nothing when it does not compile or fails while
  // running; errorInfo (may be null) then gets the details.
  std::optional<NSAppleEventDescriptor> executeAndReturnError(QVariantMap* errorInfo);

 private:
  QString source_;
  std::unique_ptr<applescript::Program> program_;
};
