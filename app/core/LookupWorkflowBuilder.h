// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one-action "Get Definition of Word" workflow that looks every word up.
#include <QString>
#include <memory>

class Workflow;

inline constexpr const char* kDefinitionActionPath =
    "/System/Library/Automator/Get Definition of Word.action";
inline constexpr const char* kDictionaryParameterKey = "last selected dictionary URL";
inline constexpr const char* kDictionaryPathFormat = "/Library/Dictionaries/%1.dictionary";
inline constexpr const char* kUserDictionaryPathFormat = "~/Library/Dictionaries/%1.dictionary";
inline constexpr const char* kWorkflowFileName = "GetDefinitionOfWord.workflow";

// The mac-style bundle path that the action's dictionary parameter holds for a menu title:
// in the machine's folder, or in the user's when only that holds the bundle.
QString dictionaryParameterValue(const QString& dictionaryName);

// Loads the system action, points its dictionary parameter at the named dictionary and puts
// it alone in a new workflow. Nothing when the action bundle cannot be loaded.
std::unique_ptr<Workflow> makeDefinitionWorkflow(const QString& dictionaryName);
