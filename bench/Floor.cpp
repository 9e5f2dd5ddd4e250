// SPDX-License-Identifier: GPL-3.0-or-later
// The floor: the least a program must do for `define` on a prepared dictd dictionary. It maps
// the index and the uncompressed data, hashes the headwords, then reads the text, splits it,
// probes the hash once per word and copies the entries' bytes out. Nothing is checked, decoded
// or converted; bench/run.sh compares Vocabulon with it.
//   vocabulon-bench-floor INDEX DATA < text > out
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

std::string_view mapFile(const char* path) {
  const int fd = ::open(path, O_RDONLY);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || info.st_size == 0) return {};
  void* bytes = ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  return bytes == MAP_FAILED ? std::string_view() : std::string_view(static_cast<const char*>(bytes), std::size_t(info.st_size));
}

std::uint64_t base64(std::string_view digits) {
  static const std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::uint64_t value = 0;
  for (const char c : digits) value = value * 64 + alphabet.find(c);
  return value;
}

struct Range {
  std::uint64_t offset, length;
};

std::string out;
void flushIfFull(bool force = false) {
  if (out.size() >= (1 << 16) || (force && !out.empty())) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vocabulon-bench-floor INDEX DATA < text\n");
    return 2;
  }
  const std::string_view index = mapFile(argv[1]), data = mapFile(argv[2]);
  if (index.empty() || data.empty()) return 1;
  std::unordered_map<std::string_view, std::vector<Range>> entries;
  entries.reserve(index.size() / 24);
  for (std::size_t p = 0; p < index.size();) {
    std::size_t eol = index.find('\n', p);
    if (eol == std::string_view::npos) eol = index.size();
    const std::string_view line = index.substr(p, eol - p);
    const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    if (tab1 != std::string_view::npos && tab2 != std::string_view::npos) {
      std::size_t tab3 = line.find('\t', tab2 + 1);
      if (tab3 == std::string_view::npos) tab3 = line.size();
      entries[line.substr(0, tab1)].push_back(
          {base64(line.substr(tab1 + 1, tab2 - tab1 - 1)), base64(line.substr(tab2 + 1, tab3 - tab2 - 1))});
    }
    p = eol + 1;
  }
  static const char kMissing[] = "Could not retrieve definition";
  std::string word, key, pending;
  std::vector<char> buffer(1 << 16);
  auto define = [&] {
    if (word.empty()) return;
    key = word;
    for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    out += word;
    out += ":\n";
    const auto found = entries.find(key);
    if (found == entries.end()) {
      out += kMissing;
    } else {
      for (const Range& range : found->second) {
        if (range.offset + range.length <= data.size()) out.append(data.data() + range.offset, range.length);
      }
    }
    out += "\n\n";
    word.clear();
    flushIfFull();
  };
  for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0;) {
    for (std::size_t i = 0; i < got; ++i) {
      const unsigned char c = static_cast<unsigned char>(buffer[i]);
      if (c >= 0x80 || std::isalnum(c) || c == '\'') word += char(c);
      else define();
    }
  }
  define();
  flushIfFull(true);
  return 0;
}
