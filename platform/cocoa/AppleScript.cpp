// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/AppleScript.h"

#include <cmath>
#include <new>

#include "platform/cocoa/AppleScriptEvaluator.h"

using applescript::Value;

NSAppleEventDescriptor NSAppleEventDescriptor::nullDescriptor() {
  return NSAppleEventDescriptor(Value());
}

NSAppleEventDescriptor::NSAppleEventDescriptor(const Value& value)
    : value_(std::make_shared<const Value>(value)) {}

DescType NSAppleEventDescriptor::descriptorType() const {
  switch (value_->kind()) {
    case Value::Kind::Null: return typeNull;
    case Value::Kind::Boolean: return value_->booleanValue() ? typeTrue : typeFalse;
    case Value::Kind::Integer: return typeSInt32;
    case Value::Kind::Real: return typeIEEE64BitFloatingPoint;
    case Value::Kind::Text: return typeUnicodeText;
    case Value::Kind::List: return typeAEList;
    case Value::Kind::Record: return typeAERecord;
  }
  return typeNull;
}

QString NSAppleEventDescriptor::stringValue() const {
  switch (value_->kind()) {
    case Value::Kind::Null:
    case Value::Kind::List:
    case Value::Kind::Record:
      return {};
    default:
      return applescript::toText(*value_);
  }
}

qint32 NSAppleEventDescriptor::int32Value() const {
  if (value_->kind() == Value::Kind::Integer) return value_->integerValue();
  if (value_->kind() == Value::Kind::Real) {
    const double r = std::nearbyint(value_->realValue());
    if (r >= -2147483648.0 && r <= 2147483647.0) return qint32(r);
  }
  return 0;
}

double NSAppleEventDescriptor::doubleValue() const {
  return value_->isNumber() ? value_->realValue() : 0.0;
}

bool NSAppleEventDescriptor::booleanValue() const {
  return value_->kind() == Value::Kind::Boolean && value_->booleanValue();
}

qint32 NSAppleEventDescriptor::numberOfItems() const {
  if (value_->kind() == Value::Kind::List) return qint32(value_->items().size());
  if (value_->kind() == Value::Kind::Record) return qint32(value_->properties().size());
  return 0;
}

std::optional<NSAppleEventDescriptor> NSAppleEventDescriptor::descriptorAtIndex(long index) const {
  if (index < 1 || index > numberOfItems()) return std::nullopt;
  const size_t at = size_t(index - 1);
  if (value_->kind() == Value::Kind::List) return NSAppleEventDescriptor(value_->items()[at]);
  return NSAppleEventDescriptor(value_->properties()[at].value);
}

QString NSAppleEventDescriptor::labelAtIndex(long index) const {
  if (value_->kind() != Value::Kind::Record || index < 1 || index > numberOfItems()) return {};
  return value_->properties()[size_t(index - 1)].label;
}

namespace {

void report(const applescript::ScriptError& error, QVariantMap* errorInfo) {
  if (!errorInfo) return;
  errorInfo->insert(NSAppleScriptErrorMessage, error.message);
  errorInfo->insert(NSAppleScriptErrorBriefMessage, error.message);
  errorInfo->insert(NSAppleScriptErrorNumber, error.number);
  if (error.from >= 0 && error.to >= error.from)
    errorInfo->insert(NSAppleScriptErrorRange,
                      QVariantList{qlonglong(error.from), qlonglong(error.to - error.from)});
}

applescript::ScriptError outOfMemory() {
  return applescript::ScriptError(applescript::kErrOutOfMemory, QStringLiteral("Out of memory."));
}

}  // namespace

NSAppleScript::NSAppleScript(const QString& source) : source_(source) {}

NSAppleScript::~NSAppleScript() = default;

bool NSAppleScript::compile(QVariantMap* errorInfo) {
  if (program_) return true;
  try {
    program_ = std::make_unique<applescript::Program>(applescript::parse(source_));
    return true;
  } catch (const applescript::ScriptError& error) {
    report(error, errorInfo);
  } catch (const std::bad_alloc&) {
    report(outOfMemory(), errorInfo);
  }
  return false;
}

std::optional<NSAppleEventDescriptor> NSAppleScript::executeAndReturnError(QVariantMap* errorInfo) {
  if (!compile(errorInfo)) return std::nullopt;
  try {
    return NSAppleEventDescriptor(applescript::run(*program_));
  } catch (const applescript::ScriptError& error) {
    report(error, errorInfo);
  } catch (const std::bad_alloc&) {
    report(outOfMemory(), errorInfo);
  }
  return std::nullopt;
}
