// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Running a parsed script.
#include "platform/cocoa/AppleScriptParser.h"

namespace applescript {

// Runs the statements in order with fresh variables and answers the script's result: the value
// of "return", or else of the last statement run (the value assigned, for "set"); the null
// value when there is none. The variable "result" holds the previous statement's result.
// Throws ScriptError when a statement fails.
Value run(const Program& program);

}  // namespace applescript
