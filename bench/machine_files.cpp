// Gathering the benchmark's payloads from files of this machine. Real PE images and
// real text decode differently from any generator's output (match lengths, literal
// statistics), so the decoder's figures are measured on them when they are present.
#include "bench/machine_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace bench {

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kPeFolders[] = {"/usr/lib/i386-linux-gnu/wine", "/usr/lib/x86_64-linux-gnu/wine"};
const char* const kTextFolders[] = {"/usr/include", "/usr/share/doc"};

std::vector<std::string> FilesUnder(const char* root) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes ReadPrefix(const std::string& path, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  Bytes data(limit);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(limit));
  data.resize(static_cast<size_t>(in.gcount()));
  return data;
}

bool LooksLikePe(const Bytes& head) { return head.size() >= 64 && head[0] == 'M' && head[1] == 'Z'; }

bool LooksLikeText(const Bytes& head) {
  if (head.empty()) return false;
  size_t odd = 0;
  for (uint8_t c : head) {
    if (c == 0) return false;
    if (c < 9 || (c > 13 && c < 32)) ++odd;
  }
  return odd * 100 < head.size();
}

// Appends whole files that pass `accept` until `limit` bytes are gathered.
template <size_t kFolders, typename Accept>
Bytes Gather(const char* const (&folders)[kFolders], size_t limit, Accept accept) {
  Bytes out;
  for (const char* folder : folders) {
    for (const std::string& path : FilesUnder(folder)) {
      if (out.size() >= limit) return out;
      if (path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0) continue;
      if (!accept(ReadPrefix(path, 4096))) continue;
      Bytes whole = ReadPrefix(path, limit - out.size());
      out.insert(out.end(), whole.begin(), whole.end());
    }
  }
  return out;
}

}  // namespace

Bytes MachinePeFiles(size_t limit) { return Gather(kPeFolders, limit, LooksLikePe); }
Bytes MachineTextFiles(size_t limit) { return Gather(kTextFolders, limit, LooksLikeText); }

}  // namespace bench
