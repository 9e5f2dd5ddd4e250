// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks share: a clock, peak memory, order statistics and the words of a text.
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <sys/resource.h>
#include <vector>

#include "app/core/MultiWordLookup.h"

using Clock = std::chrono::steady_clock;

inline double peakMemoryMiB(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

struct Stats {
  double median, p99, mean;
};

inline Stats stats(std::vector<double> microseconds) {
  std::sort(microseconds.begin(), microseconds.end());
  double sum = 0;
  for (double value : microseconds) sum += value;
  const size_t n = microseconds.size();
  return {microseconds[n / 2], microseconds[std::min(n - 1, n * 99 / 100)], sum / n};
}

inline QStringList readWords(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return wordsOfQuery(QString::fromUtf8(file.readAll()));
}

