// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// A StarDict copy (dictzipped, type 'm') of the dictd dictionary whose .index is given,
// written as OUTDIR/NAME/NAME.{ifo,idx,dict.dz} for sdcv's --data-dir OUTDIR.
bool exportStarDict(const QString& indexPath, const QString& outputFolder);
