// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dictionary text to QString: UTF-8 when it is valid UTF-8, else Latin-1 (older 8-bit
// dictionaries), so that no byte is lost or replaced.
#include <QByteArrayView>
#include <QString>

namespace dictionary {

QString decodeText(QByteArrayView bytes);

// Removes trailing white space (including newlines).
void chopTrailingSpace(QString& text);

}  // namespace dictionary
