// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the Apple Event Manager: descriptors' items and events' parts as plain values.
#include <vector>

#include "platform/carbon/AppleEvents.h"

namespace aeimpl {

using Bytes = std::vector<UInt8>;

struct Item {
  AEKeyword key = 0;
  DescType type = typeNull;
  Bytes data;
};

struct Event {
  AEEventClass eventClass = 0;
  AEEventID eventID = 0;
  SInt32 returnID = 0;
  SInt32 transactionID = 0;
  Item address;
  std::vector<Item> attributes;
  std::vector<Item> params;
};

UInt32 get32(const UInt8* p);
void put32(Bytes& b, UInt32 v);
Bytes dataOf(const AEDesc* d);
OSErr make(DescType type, const Bytes& data, AEDesc* out);
bool parseItems(const UInt8* p, std::size_t n, bool keyed, std::vector<Item>* out, int depth = 0);
Bytes buildItems(const std::vector<Item>& items, bool keyed);
bool parseEvent(const UInt8* p, std::size_t n, Event* out, int depth = 0);
Bytes buildEvent(const Event& e);
OSErr eventOf(const AppleEvent* d, Event* e);
OSErr coerce(DescType from, const Bytes& data, DescType to, DescType* outType, Bytes* out);

}  // namespace aeimpl
