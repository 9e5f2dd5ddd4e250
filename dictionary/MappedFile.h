// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A read-only memory mapping of a whole file. An empty file maps to an empty view.
//
// The files mapped are mostly not ours (a package's dictionary, linked from a bundle): one
// may be rewritten in place while mapped, and a read past its new end then raises SIGBUS.
// Every read of mapped memory therefore runs inside guardedRead(), which turns that fault
// into a false result.
#include <QString>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace dictionary {

// How large each kind of file may be before it is refused as implausible.
inline constexpr std::uint64_t kMaxSmallFileBytes = 1u << 20;     // .ifo, Info.plist
inline constexpr std::uint64_t kMaxIndexBytes = 0xffffffffu;      // offsets are 32-bit
inline constexpr std::uint64_t kMaxDataBytes = std::uint64_t(64) << 30;

class MappedFile {
 public:
  // Maps a regular file of at most maxBytes (links followed); never blocks on a FIFO or a
  // device. Nothing and a message otherwise.
  static std::unique_ptr<MappedFile> open(const QString& path, std::uint64_t maxBytes, QString* error);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  QString path() const { return path_; }
  const char* data() const { return static_cast<const char*>(address_); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {data(), size_}; }

  // Copies bytes [offset, offset + size) of the mapping; false when they lie outside it or
  // the file shrank under them.
  bool copy(std::uint64_t offset, std::size_t size, char* out) const;

 private:
  MappedFile() = default;
  QString path_;
  void* address_ = nullptr;
  std::size_t size_ = 0;
};

namespace mapguard {
struct Frame {
  sigjmp_buf jump;
  Frame* outer;
};
inline thread_local Frame* current = nullptr;
void install();  // once per process; keeps any handler installed before for other faults
}  // namespace mapguard

// Runs read(), which reads mapped memory; false when the file shrank under it and a read
// faulted. A fault leaves read() half done, so whatever it calls may hold only plain values,
// views and pointers while it reads (what it fills in lives outside it).
template <typename Read>
[[gnu::noinline]] bool guardedRead(const Read& read) {
  mapguard::install();
  mapguard::Frame frame;
  frame.outer = mapguard::current;
  if (sigsetjmp(frame.jump, 0) != 0) {
    mapguard::current = frame.outer;
    return false;
  }
  mapguard::current = &frame;
  try {
    read();
  } catch (...) {  // an allocation that failed: the frame must not outlive this call
    mapguard::current = frame.outer;
    throw;
  }
  mapguard::current = frame.outer;
  return true;
}

}  // namespace dictionary
