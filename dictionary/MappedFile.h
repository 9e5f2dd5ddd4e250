// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A read-only memory mapping of a whole file. An empty file maps to an empty view.
#include <QString>
#include <cstddef>
#include <memory>
#include <string_view>

namespace dictionary {

class MappedFile {
 public:
  // Nothing and a message when the file cannot be opened or mapped.
  static std::unique_ptr<MappedFile> open(const QString& path, QString* error);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  const char* data() const { return static_cast<const char*>(address_); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {data(), size_}; }

 private:
  MappedFile() = default;
  void* address_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace dictionary
