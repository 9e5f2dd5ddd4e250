// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the CF tests: every test starts and ends with the same number of live objects,
// so a missing or extra CFRelease anywhere in a test shows up as a failure.
#include <gtest/gtest.h>

#include <QString>

#include "platform/cf/CFInternal.h"
#include "platform/cf/CoreFoundation.h"

class CFTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = cf::liveObjectCount(); }
  void TearDown() override {
    EXPECT_EQ(cf::liveObjectCount(), live_) << "objects leaked or freed twice";
  }
  // For objects that rightly live on after the test (those a constant object keeps).
  void allowPermanentObjects(CFIndex count) { live_ += count; }

 private:
  CFIndex live_ = 0;
};

// Releases a Create/Copy result at the end of a scope.
template <class T>
class Owned {
 public:
  explicit Owned(T ref) : ref_(ref) {}
  ~Owned() { CFRelease(ref_); }
  Owned(Owned&& other) noexcept : ref_(other.ref_) { other.ref_ = nullptr; }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  T get() const { return ref_; }
  operator T() const { return ref_; }

 private:
  T ref_;
};

inline Owned<CFStringRef> str(const QString& s) {
  return Owned<CFStringRef>(CFStringCreateWithQString(s));
}
inline QString qs(CFStringRef s) { return CFStringToQString(s); }
