// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shows QStrings as text in failure messages, and a null QString as (nil).
#include <QString>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
  if (s.isNull()) *os << "(nil)";
  else *os << '"' << s.toStdString() << '"';
}
