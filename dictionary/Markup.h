// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain text from the markup kinds StarDict entries use.
#include <QString>
#include <QStringView>
#include <optional>

namespace dictionary {

enum class MarkupKind {
  Html,   // 'h': white space collapses, block elements and <br> break lines
  Pango,  // 'g': text as written, tags removed
  Xdxf,   // 'x': text as written, the <k> headword left out, <tr> in brackets
};

// Removes tags, turns line breaks and block ends into newlines and decodes entities.
QString markupToText(QStringView markup, MarkupKind kind);

// Decodes one entity name ("amp", "#233", "#xE9"); nothing for an unknown name.
std::optional<QString> decodeEntity(QStringView name);

}  // namespace dictionary
