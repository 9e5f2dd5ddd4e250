// SPDX-License-Identifier: GPL-3.0-or-later
// vocabulon-bench-support: what the support library's pools and caches save. Prints one line
// per measurement: nanoseconds per operation, and system allocations where they count.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <algorithm>
#include <string>
#include <vector>

#include "foundation/LocalizedStrings.h"
#include "foundation/StartupTables.h"
#include "platform/cf/CFBundle.h"
#include "support/StringUtilities.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double nanosecondsPer(int count, F&& f) {
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) f(i);
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count;
}

struct Plain {
  char bytes[256];
};

}  // namespace

int main() {
  constexpr int kRounds = 1000000;
  volatile char sink = 0;

  // 256 objects alive at a time, so that neither allocator can hand back the block it just got.
  std::vector<BoundedString*> strings(256, nullptr);
  const double pooled = nanosecondsPer(kRounds, [&](int i) {
    BoundedString*& slot = strings[i & 255];
    delete slot;
    slot = new BoundedString;
    slot->data()[0] = char(i);
    sink = slot->c_str()[0];
  });
  for (BoundedString* s : strings) delete s;
  std::vector<Plain*> plains(256, nullptr);
  const double heap = nanosecondsPer(kRounds, [&](int i) {
    Plain*& slot = plains[i & 255];
    delete slot;
    slot = new Plain;
    slot->bytes[0] = char(i);
    sink = slot->bytes[0];
  });
  for (Plain* p : plains) delete p;
  std::printf("bounded_string_new_delete_ns=%.1f plain_256_byte_new_delete_ns=%.1f\n", pooled, heap);

  // A mapping list of 1,000 extensions, in random and in sorted order (the tree is not
  // balanced: sorted input makes it a list).
  std::vector<std::string> keys;
  for (int i = 0; i < 1000; ++i) keys.push_back("ext" + std::to_string(i));
  std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
  auto& pool = ExtensionMappingTable::NodePool::shared();
  for (bool sorted : {false, true}) {
    if (sorted) std::sort(keys.begin(), keys.end());
    ExtensionMappingTable table(EmptyBoundedString());
    const std::size_t blocksBefore = pool.blockCount();
    const double insert = nanosecondsPer(int(keys.size()), [&](int i) {
      table.findOrInsert(keys[std::size_t(i)].c_str(), &table.defaultEntry);
    });
    const double find = nanosecondsPer(int(keys.size()), [&](int i) {
      sink = table.find(keys[std::size_t(i)].c_str()) != nullptr;
    });
    std::printf("mapping_%s_insert_ns=%.1f find_ns=%.1f nodes=%d node_blocks_taken=%zu\n",
                sorted ? "sorted" : "random", insert, find, table.nodeCount,
                pool.blockCount() - blocksBefore);
  }

  const double cached = nanosecondsPer(kRounds / 10, [&](int) {
    sink = GetLocalizedStringForCString("Choose folder") != nullptr;
  });
  CFBundleRef bundle = CFBundleGetMainBundle();
  const double uncached = nanosecondsPer(kRounds / 10, [&](int) {
    CFStringRef s = CFBundleCopyLocalizedString(bundle, CFSTR("Choose folder"), CFSTR("Choose folder"),
                                                CFSTR("LocalizedStrings"));
    sink = s != nullptr;
    CFRelease(s);
  });
  std::printf("localized_cached_ns=%.1f localized_bundle_lookup_ns=%.1f main_bundle=%s\n", cached,
              uncached, bundle ? "yes" : "no");
  return sink == 42 ? 1 : 0;
}
