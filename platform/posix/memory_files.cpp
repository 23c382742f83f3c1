// The POSIX backend's file store in process memory, for fast tests and fuzzing.
//
// Every file and directory is a node in one map keyed by its absolute path, resolved
// the way the kernel resolves it: components split at "/", empty and "." components
// dropped, ".." going up one level. Every component before the last must name an
// existing directory; a component longer than 255 bytes or a path of 4,096 bytes or
// more fails as ENAMETOOLONG. Paths that do not start with "/" are taken from the root.
// A directory's children are the keys that follow "<dir>/" in the map's order.
//
// An open file holds its node, so a file removed while open keeps its bytes until it
// is closed, as on POSIX. Failures set errno to what the POSIX call would give.
#include <errno.h>
#include <fnmatch.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "platform/posix/backend.h"

namespace plat::posix {
namespace {

constexpr size_t kMaxComponent = 255;
constexpr size_t kMaxPath = 4095;

struct Node {
  bool directory = false;
  std::vector<uint8_t> bytes;
  int64_t time = 0;
};

struct OpenFile {
  std::shared_ptr<Node> node;
  uint64_t position = 0;
};

// A path resolved against the tree: its key, and whether it ended in "/".
struct Resolved {
  bool ok = false;
  std::string key;
  bool trailingSlash = false;
};

class MemoryFiles final : public FileStore {
 public:
  MemoryFiles() { Clear(); }

  // Every file and handle dropped, and handles counted from kMemoryBase again.
  void Clear() {
    nodes_.clear();
    open_.clear();
    next_ = 0;
    auto root = std::make_shared<Node>();
    root->directory = true;
    nodes_["/"] = root;
  }

  intptr_t OpenExisting(const std::string& path) override {
    Resolved r = Resolve(path);
    if (!r.ok) return -1;
    auto it = nodes_.find(r.key);
    if (it == nodes_.end()) return Fail(ENOENT);
    if (it->second->directory) return Fail(EISDIR);
    return Issue(it->second);
  }

  bool Size(intptr_t file, uint64_t* size) override {
    OpenFile* f = Opened(file);
    if (!f) return false;
    *size = f->node->bytes.size();
    return true;
  }

  int64_t Seek(intptr_t file, int64_t offset, int whence) override {
    OpenFile* f = Opened(file);
    if (!f) return -1;
    int64_t base = whence == SEEK_SET ? 0
                   : whence == SEEK_CUR ? static_cast<int64_t>(f->position)
                                        : static_cast<int64_t>(f->node->bytes.size());
    if (base + offset < 0) return Fail(EINVAL);
    f->position = static_cast<uint64_t>(base + offset);
    return base + offset;
  }

  bool Read(intptr_t file, void* buffer, uint32_t count, uint32_t* got) override {
    *got = 0;
    OpenFile* f = Opened(file);
    if (!f) return false;
    const std::vector<uint8_t>& bytes = f->node->bytes;
    if (f->position < bytes.size() && count > 0) {
      uint64_t left = bytes.size() - f->position;
      *got = static_cast<uint32_t>(left < count ? left : count);
      memcpy(buffer, bytes.data() + f->position, *got);
      f->position += *got;
    }
    return true;
  }

  intptr_t Create(const std::string& path) override {
    Resolved r = Resolve(path);
    if (!r.ok) return -1;
    if (r.trailingSlash) return Fail(EISDIR);
    auto it = nodes_.find(r.key);
    if (it != nodes_.end()) {
      if (it->second->directory) return Fail(EISDIR);
      it->second->bytes.clear();
      return Issue(it->second);
    }
    auto node = std::make_shared<Node>();
    nodes_[r.key] = node;
    return Issue(node);
  }

  bool Write(intptr_t file, const void* data, uint32_t count, uint32_t* written) override {
    *written = 0;
    OpenFile* f = Opened(file);
    if (!f) return false;
    if (count == 0) return true;
    std::vector<uint8_t>& bytes = f->node->bytes;
    if (bytes.size() < f->position + count) bytes.resize(f->position + count);
    memcpy(bytes.data() + f->position, data, count);
    f->position += count;
    *written = count;
    return true;
  }

  bool SetTime(intptr_t file, int64_t seconds) override {
    OpenFile* f = Opened(file);
    if (!f) return false;
    f->node->time = seconds;
    return true;
  }

  bool Close(intptr_t file) override {
    if (open_.erase(file) == 0) return Refuse(EBADF);
    return true;
  }

  NodeKind Kind(const std::string& path) override {
    Node* node = Find(path);
    if (!node) return NodeKind::kMissing;
    return node->directory ? NodeKind::kDirectory : NodeKind::kFile;
  }

  bool AnyNameMatches(const std::string& directory, const std::string& pattern) override {
    Resolved r = Resolve(directory);
    if (!r.ok) return false;
    // "." and ".." are in every directory, as readdir lists them.
    if (fnmatch(pattern.c_str(), ".", 0) == 0 || fnmatch(pattern.c_str(), "..", 0) == 0) return true;
    std::string prefix = ChildPrefix(r.key);
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && StartsWith(it->first, prefix); ++it) {
      std::string name = it->first.substr(prefix.size());
      if (name.find('/') == std::string::npos && fnmatch(pattern.c_str(), name.c_str(), 0) == 0) return true;
    }
    return false;
  }

  bool MakeDirectory(const std::string& path) override {
    Resolved r = Resolve(path);
    if (!r.ok) return false;
    if (nodes_.count(r.key)) return Refuse(EEXIST);
    auto node = std::make_shared<Node>();
    node->directory = true;
    nodes_[r.key] = node;
    return true;
  }

  bool RemoveFile(const std::string& path) override {
    Resolved r = Resolve(path);
    if (!r.ok) return false;
    auto it = nodes_.find(r.key);
    if (it == nodes_.end()) return Refuse(ENOENT);
    if (it->second->directory) return Refuse(EISDIR);
    nodes_.erase(it);
    return true;
  }

  bool RemoveDirectory(const std::string& path) override {
    Resolved r = Resolve(path);
    if (!r.ok) return false;
    auto it = nodes_.find(r.key);
    if (it == nodes_.end()) return Refuse(ENOENT);
    if (!it->second->directory) return Refuse(ENOTDIR);
    if (r.key == "/") return Refuse(EBUSY);
    auto child = nodes_.lower_bound(ChildPrefix(r.key));
    if (child != nodes_.end() && StartsWith(child->first, ChildPrefix(r.key))) return Refuse(ENOTEMPTY);
    nodes_.erase(it);
    return true;
  }

  std::string Canonical(const std::string& path) override {
    Resolved r = Resolve(path);
    return r.ok ? r.key : path;
  }

  // Test controls.
  const std::vector<uint8_t>* Bytes(const std::string& path) {
    Node* node = Find(path);
    return node && !node->directory ? &node->bytes : nullptr;
  }
  bool Put(const std::string& path, const std::vector<uint8_t>* bytes) {
    std::string built;
    size_t start = 0;
    // Every missing directory on the way is made first.
    while (start < path.size()) {
      size_t slash = path.find('/', start);
      if (slash == std::string::npos) break;
      built = path.substr(0, slash);
      if (!built.empty() && Kind(built) == NodeKind::kMissing && !MakeDirectory(built)) return false;
      start = slash + 1;
    }
    if (!bytes) return Kind(path) == NodeKind::kDirectory || MakeDirectory(path);
    intptr_t f = Create(path);
    uint32_t written = 0;
    return f >= 0 && Write(f, bytes->data(), static_cast<uint32_t>(bytes->size()), &written) && Close(f);
  }
  std::vector<std::string> Tree() const {
    std::vector<std::string> out;
    for (const auto& [key, node] : nodes_) out.push_back(node->directory && key != "/" ? key + "/" : key);
    return out;
  }

 private:
  static bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
  }
  static std::string ChildPrefix(const std::string& key) { return key == "/" ? key : key + "/"; }
  static int Fail(int error) {
    errno = error;
    return -1;
  }
  static bool Refuse(int error) {
    errno = error;
    return false;
  }

  static Resolved Unresolved(int error) {
    errno = error;
    return Resolved{};
  }

  Resolved Resolve(const std::string& path) {
    if (path.empty()) return Unresolved(ENOENT);
    if (path.size() > kMaxPath) return Unresolved(ENAMETOOLONG);
    std::string key;
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      std::string part = path.substr(start, end - start);
      start = end + 1;
      if (part.empty() || part == ".") continue;
      if (part.size() > kMaxComponent) return Unresolved(ENAMETOOLONG);
      // The path so far must be a directory to go on from it.
      if (!key.empty()) {
        auto it = nodes_.find(key);
        if (it == nodes_.end()) return Unresolved(ENOENT);
        if (!it->second->directory) return Unresolved(ENOTDIR);
      }
      if (part == "..") {
        size_t slash = key.rfind('/');
        key.erase(slash == std::string::npos ? 0 : slash);
      } else {
        key += "/" + part;
      }
    }
    Resolved r;
    r.ok = true;
    r.key = key.empty() ? "/" : key;
    r.trailingSlash = path.back() == '/' && r.key != "/";
    if (r.trailingSlash) {
      auto it = nodes_.find(r.key);
      if (it != nodes_.end() && !it->second->directory) return Unresolved(ENOTDIR);
    }
    return r;
  }

  Node* Find(const std::string& path) {
    Resolved r = Resolve(path);
    if (!r.ok) return nullptr;
    auto it = nodes_.find(r.key);
    if (it == nodes_.end()) {
      errno = ENOENT;
      return nullptr;
    }
    return it->second.get();
  }

  intptr_t Issue(const std::shared_ptr<Node>& node) {
    intptr_t handle = kMemoryBase + next_++;
    open_[handle] = OpenFile{node, 0};
    return handle;
  }

  OpenFile* Opened(intptr_t file) {
    auto it = open_.find(file);
    if (it == open_.end()) {
      errno = EBADF;
      return nullptr;
    }
    return &it->second;
  }

  std::map<std::string, std::shared_ptr<Node>> nodes_;
  std::map<intptr_t, OpenFile> open_;
  intptr_t next_ = 0;
};

bool g_memoryOn = false;

MemoryFiles& TheMemory() {
  static MemoryFiles memory;
  return memory;
}

}  // namespace

FileStore& Memory() { return TheMemory(); }
FileStore& Store() { return g_memoryOn ? Memory() : Disk(); }
FileStore& StoreOf(intptr_t file) { return file >= kMemoryBase && file < kProcessBase ? Memory() : Disk(); }
bool MemoryFilesOn() { return g_memoryOn; }
const std::vector<uint8_t>* MemoryFileBytes(const std::string& path) { return TheMemory().Bytes(path); }

}  // namespace plat::posix

namespace plat::testing {

void UseMemoryFiles() {
  posix::TheMemory().Clear();
  posix::g_memoryOn = true;
}

void UseRealFiles() {
  posix::TheMemory().Clear();
  posix::g_memoryOn = false;
}

bool MemoryFilesOn() { return posix::MemoryFilesOn(); }

bool PutMemoryFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return posix::TheMemory().Put(path, &bytes);
}

bool PutMemoryDirectory(const std::string& path) { return posix::TheMemory().Put(path, nullptr); }

const std::vector<uint8_t>* MemoryFile(const std::string& path) { return posix::TheMemory().Bytes(path); }

std::vector<std::string> MemoryTree() { return posix::TheMemory().Tree(); }

}  // namespace plat::testing
