// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Internet Config client: one connection for launching URLs, mapping file names, reading
// preferences and walking the "Mapping" preference; the loaders of the start-up mapping tables;
// and the search of the mounted volumes' desktop databases for an application.
#include "platform/carbon/Files.h"
#include "platform/carbon/InternetConfig.h"

class InternetConfigClient {
 public:
  explicit InternetConfigClient(OSType signature);
  virtual ~InternetConfigClient();
  InternetConfigClient(const InternetConfigClient&) = delete;
  InternetConfigClient& operator=(const InternetConfigClient&) = delete;

  OSStatus Start();
  void Stop();

  // Every call below answers -1 (false) while the client is not started.
  OSStatus LaunchURL(ConstStr255Param url);
  OSStatus MapFilename(ConstStr255Param name, ICMapEntry* entry);
  OSStatus MapFilename(const char* name, ICMapEntry* entry);  // its first 255 bytes
  OSStatus GetPref(ConstStr255Param key, unsigned char buffer[260]);
  OSStatus GetPref256(ConstStr255Param key, unsigned char buffer[256]);
  OSStatus EditPreferences(ConstStr255Param key);
  OSStatus GetHelperApplication(ConstStr255Param key, FSSpec* application, OSType* creator);

  OSStatus BeginMappings();
  bool NextMapping(ICMapEntry* entry);
  OSStatus EndMappings();

  bool IsAvailable() const { return available; }
  bool IsStarted() const { return started; }

 private:
  OSStatus GetPrefSized(ConstStr255Param key, void* buffer, long size);

  ICInstance instance = nullptr;
  bool available = false;
  bool started = false;
  Handle mappingHandle = nullptr;
  SInt32 entryCount = 0;
  SInt32 nextIndex = 1;
  OSType signature;
};

// Fill the start-up tables from the "Mapping" preference: a later entry for the same key
// replaces an earlier one.
void LoadExtensionMappings();
void LoadFileTypeMappings();

// The newest application with the creator among the mounted volumes' desktop databases (the
// lower volume index on equal dates); false, leaving *application alone, when there is none.
Boolean FindNewestApplication(OSType creator, FSSpec* application);
