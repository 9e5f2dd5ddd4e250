// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/events/OpenDocuments.h"

OSErr AcceptOpenDocuments(const AppleEvent* event, AppleEvent*, SRefCon) {
  AEDescList list;
  // One item or a list of them; an item that names nothing is the sender's error to hear.
  if (OSErr err = AEGetParamDesc(event, keyDirectObject, typeAEList, &list)) {
    FSRef single;
    return AEGetParamPtr(event, keyDirectObject, typeFSRef, nullptr, &single, sizeof single, nullptr);
  }
  long count = 0;
  OSErr err = AECountItems(&list, &count);
  for (long i = 1; i <= count && !err; ++i) {
    FSRef ref;
    err = AEGetNthPtr(&list, i, typeFSRef, nullptr, nullptr, &ref, sizeof ref, nullptr);
  }
  AEDisposeDesc(&list);
  return err;
}
