// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dictionaries and the definition action, installed into a test's system root.
#include <QList>
#include <QPair>
#include <QString>

class TestEnvironment;

using TestEntries = QList<QPair<QString, QString>>;

// Copies the build's "Get Definition of Word" action into the test's system root.
void installDefinitionAction(const TestEnvironment& env);

// Writes a dictd dictionary (index + dictzip data) at basePath (".index"/".dict.dz" added).
void writeTestDictd(const QString& basePath, const QString& shortName, const TestEntries& entries);

// Makes NAME.dictionary in the test's dictionaries folder; returns the bundle's path.
QString addTestDictionary(const TestEnvironment& env, const QString& name, const TestEntries& entries);
