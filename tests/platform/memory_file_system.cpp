#include "memory_file_system.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace fs = std::filesystem;

namespace cs::test {

using platform::FileKind;
using platform::FileStat;

namespace {

std::error_code Errc(std::errc e) { return std::make_error_code(e); }

std::string Join(const std::string& dir, const std::string& name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::vector<std::string> Components(const fs::path& path) {
  std::vector<std::string> out;
  for (const auto& part : path.is_absolute() ? path : fs::path("/") / path) {
    const std::string s = part.string();
    if (!s.empty() && s != "/") out.push_back(s);
  }
  return out;
}

}  // namespace

class MemoryLock : public platform::ExclusiveLock {
 public:
  MemoryLock(MemoryFileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
  ~MemoryLock() override { files_.locked_.erase(path_); }

 private:
  MemoryFileSystem& files_;
  std::string path_;
};

// An open file of the memory file system. It finds its file by the path it was opened by, so a
// file removed or renamed while open is gone for it (EBADF), unlike a POSIX descriptor.
class MemoryRandomAccessFile : public platform::RandomAccessFile {
 public:
  MemoryRandomAccessFile(MemoryFileSystem& files, std::string path, bool writable)
      : files_(files), path_(std::move(path)), writable_(writable) {}

  std::error_code ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const override {
    if (auto ec = files_.Fault("ReadAt", path_)) return ec;
    const auto* node = Node();
    if (node == nullptr) return Errc(std::errc::bad_file_descriptor);
    if (offset > node->data.size() || node->data.size() - offset < bytes.size()) {
      return platform::FileError::kEndOfFile;
    }
    std::copy_n(node->data.begin() + static_cast<std::ptrdiff_t>(offset), bytes.size(),
                bytes.begin());
    return {};
  }

  std::error_code WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (auto ec = files_.Fault("WriteAt", path_)) return ec;
    auto* node = const_cast<MemoryFileSystem::Node*>(Node());
    if (node == nullptr || !writable_) return Errc(std::errc::bad_file_descriptor);
    if (node->data.size() < offset + bytes.size()) node->data.resize(offset + bytes.size(), '\0');
    std::copy(bytes.begin(), bytes.end(), node->data.begin() + static_cast<std::ptrdiff_t>(offset));
    node->modified = files_.clock_++;
    return {};
  }

  std::error_code Size(std::uint64_t& size) const override {
    const auto* node = Node();
    if (node == nullptr) return Errc(std::errc::bad_file_descriptor);
    size = node->data.size();
    return {};
  }

  std::error_code Sync() override { return files_.Fault("Sync", path_); }

 private:
  const MemoryFileSystem::Node* Node() const {
    auto it = files_.nodes_.find(path_);
    return it == files_.nodes_.end() || it->second.kind != MemoryFileSystem::Kind::kFile
               ? nullptr
               : &it->second;
  }

  MemoryFileSystem& files_;
  std::string path_;
  bool writable_;
};

MemoryFileSystem::MemoryFileSystem() { nodes_["/"] = Node{Kind::kDirectory, {}, 0, next_inode_++}; }

MemoryFileSystem::Node& MemoryFileSystem::Put(const std::string& path, Kind kind) {
  if (path != "/" && !nodes_.contains(Parent(path))) Put(Parent(path), Kind::kDirectory);
  Node& node = nodes_[path];
  node = Node{kind, {}, clock_++, next_inode_++};
  return node;
}

void MemoryFileSystem::AddFile(const fs::path& path, std::string bytes) {
  Put(fs::path("/" / path).lexically_normal().string(), Kind::kFile).data = std::move(bytes);
}

void MemoryFileSystem::AddDirectory(const fs::path& path) {
  Put(fs::path("/" / path).lexically_normal().string(), Kind::kDirectory);
}

void MemoryFileSystem::AddSymlink(const fs::path& link, const fs::path& target) {
  Put(fs::path("/" / link).lexically_normal().string(), Kind::kSymlink).data = target.string();
}

void MemoryFileSystem::AddSpecial(const fs::path& path) {
  Put(fs::path("/" / path).lexically_normal().string(), Kind::kSpecial);
}

void MemoryFileSystem::SetReadOnly(const fs::path& path, bool read_only) {
  Resolved r;
  if (!Resolve(path, true, r) && r.node != nullptr) nodes_[r.path].read_only = read_only;
}

std::optional<std::string> MemoryFileSystem::Contents(const fs::path& path) const {
  Resolved r;
  if (Resolve(path, true, r) || r.node == nullptr || r.node->kind != Kind::kFile) return {};
  return r.node->data;
}

std::set<std::string> MemoryFileSystem::Paths() const {
  std::set<std::string> out;
  for (const auto& [path, node] : nodes_) out.insert(path);
  return out;
}

std::error_code MemoryFileSystem::Fault(std::string_view operation, const fs::path& path) const {
  return fault ? fault(operation, path) : std::error_code();
}

std::error_code MemoryFileSystem::Resolve(const fs::path& path, bool follow_last,
                                          Resolved& out) const {
  std::deque<std::string> todo;
  for (auto& c : Components(path)) todo.push_back(std::move(c));
  std::string current = "/";
  int links = 0;
  while (!todo.empty()) {
    const std::string comp = todo.front();
    todo.pop_front();
    if (comp == ".") continue;
    if (comp == "..") {
      current = Parent(current);
      continue;
    }
    const std::string next = Join(current, comp);
    const bool last = todo.empty();
    auto it = nodes_.find(next);
    if (it == nodes_.end()) {
      if (!last) return Errc(std::errc::no_such_file_or_directory);
      out = {next, nullptr};
      return {};
    }
    const Node& node = it->second;
    if (node.kind == Kind::kSymlink && (!last || follow_last)) {
      if (++links > 40) return Errc(std::errc::too_many_symbolic_link_levels);
      const fs::path target(node.data);
      const auto parts = Components(target);
      todo.insert(todo.begin(), parts.begin(), parts.end());
      if (target.is_absolute()) current = "/";
      continue;
    }
    if (!last && node.kind != Kind::kDirectory) return Errc(std::errc::not_a_directory);
    current = next;
  }
  out = {current, &nodes_.at(current)};
  return {};
}

std::error_code MemoryFileSystem::ParentIsDirectory(const std::string& path) const {
  auto it = nodes_.find(Parent(path));
  if (it == nodes_.end()) return Errc(std::errc::no_such_file_or_directory);
  if (it->second.kind != Kind::kDirectory) return Errc(std::errc::not_a_directory);
  if (it->second.read_only) return Errc(std::errc::permission_denied);
  return {};
}

FileStat MemoryFileSystem::StatOf(const Node& node) const {
  FileStat out;
  out.kind = node.kind == Kind::kFile        ? FileKind::kRegular
             : node.kind == Kind::kDirectory ? FileKind::kDirectory
                                             : FileKind::kOther;
  out.size = node.kind == Kind::kFile ? node.data.size() : 0;
  out.modified_ns = node.modified;
  out.device = 1;
  out.inode = node.inode;
  return out;
}

FileStat MemoryFileSystem::Stat(const fs::path& path) const {
  Resolved r;
  if (Resolve(path, true, r) || r.node == nullptr) return {};
  return StatOf(*r.node);
}

std::error_code MemoryFileSystem::ReadFile(const fs::path& path, std::string& bytes,
                                           FileStat* stat) const {
  ++reads;
  if (auto ec = Fault("ReadFile", path)) return ec;
  Resolved r;
  if (auto ec = Resolve(path, true, r)) return ec;
  if (r.node == nullptr) return Errc(std::errc::no_such_file_or_directory);
  if (r.node->kind != Kind::kFile) return platform::FileError::kNotRegularFile;
  bytes = r.node->data;
  if (stat != nullptr) *stat = StatOf(*r.node);
  return {};
}

std::error_code MemoryFileSystem::OpenRandomAccess(
    const fs::path& path, bool writable, std::unique_ptr<platform::RandomAccessFile>& file) {
  file.reset();
  if (auto ec = Fault("OpenRandomAccess", path)) return ec;
  Resolved r;
  if (auto ec = Resolve(path, true, r)) return ec;
  if (r.node == nullptr) return Errc(std::errc::no_such_file_or_directory);
  if (r.node->kind != Kind::kFile) return platform::FileError::kNotRegularFile;
  if (writable && r.node->read_only) return Errc(std::errc::permission_denied);
  file = std::make_unique<MemoryRandomAccessFile>(*this, r.path, writable);
  return {};
}

std::error_code MemoryFileSystem::ListDirectory(const fs::path& dir,
                                                std::vector<std::string>& names) const {
  names.clear();
  if (auto ec = Fault("ListDirectory", dir)) return ec;
  Resolved r;
  if (auto ec = Resolve(dir, true, r)) return ec;
  if (r.node == nullptr) return Errc(std::errc::no_such_file_or_directory);
  if (r.node->kind != Kind::kDirectory) return Errc(std::errc::not_a_directory);
  const std::string prefix = r.path == "/" ? "/" : r.path + "/";
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.starts_with(prefix);
       ++it) {
    const std::string rest = it->first.substr(prefix.size());
    if (!rest.empty() && rest.find('/') == std::string::npos) names.push_back(rest);
  }
  return {};
}

std::error_code MemoryFileSystem::WriteFileAtomically(const fs::path& path, std::string_view bytes,
                                                      platform::IfExists if_exists,
                                                      FileStat* stat) {
  if (auto ec = Fault("WriteFileAtomically", path)) return ec;
  Resolved r;
  if (auto ec = Resolve(path, false, r)) return ec;
  if (r.node != nullptr) {
    if (if_exists == platform::IfExists::kFail) return Errc(std::errc::file_exists);
    if (r.node->kind == Kind::kDirectory) return Errc(std::errc::is_a_directory);
    if (r.node->read_only) return Errc(std::errc::permission_denied);
  }
  if (auto ec = ParentIsDirectory(r.path)) return ec;
  Node& node = Put(r.path, Kind::kFile);
  node.data = std::string(bytes);
  if (stat != nullptr) *stat = StatOf(node);
  return {};
}

std::error_code MemoryFileSystem::WriteFile(const fs::path& path, std::string_view bytes,
                                            bool append) {
  if (auto ec = Fault("WriteFile", path)) return ec;
  Resolved r;
  if (auto ec = Resolve(path, true, r)) return ec;
  if (r.node == nullptr) {
    if (auto ec = ParentIsDirectory(r.path)) return ec;
    Put(r.path, Kind::kFile);
  } else if (r.node->kind != Kind::kFile) {
    return platform::FileError::kNotRegularFile;
  } else if (r.node->read_only) {
    return Errc(std::errc::permission_denied);
  }
  Node& node = nodes_[r.path];
  node.data = append ? node.data + std::string(bytes) : std::string(bytes);
  node.modified = clock_++;
  return {};
}

std::error_code MemoryFileSystem::CopyFile(const fs::path& from, const fs::path& to) {
  if (auto ec = Fault("CopyFile", to)) return ec;
  std::string bytes;
  if (auto ec = ReadFile(from, bytes, nullptr)) return ec;
  Resolved r;
  if (auto ec = Resolve(to, false, r)) return ec;
  if (r.node != nullptr) return Errc(std::errc::file_exists);
  if (auto ec = ParentIsDirectory(r.path)) return ec;
  Put(r.path, Kind::kFile).data = std::move(bytes);
  return {};
}

std::error_code MemoryFileSystem::RenameDurably(const fs::path& from, const fs::path& to) {
  if (auto ec = Fault("RenameDurably", from)) return ec;
  Resolved source, target;
  if (auto ec = Resolve(from, false, source)) return ec;
  if (source.node == nullptr) return Errc(std::errc::no_such_file_or_directory);
  if (auto ec = Resolve(to, false, target)) return ec;
  if (target.node != nullptr && target.node->kind == Kind::kDirectory) {
    return Errc(std::errc::is_a_directory);
  }
  if (auto ec = ParentIsDirectory(target.path)) return ec;
  // The entry and everything below it move; a moved file keeps its inode.
  std::map<std::string, Node> moved;
  const std::string below = source.path + "/";
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (it->first == source.path || it->first.starts_with(below)) {
      moved[target.path + it->first.substr(source.path.size())] = it->second;
      it = nodes_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [path, node] : moved) nodes_[path] = node;
  return {};
}

std::error_code MemoryFileSystem::Remove(const fs::path& path) {
  if (auto ec = Fault("Remove", path)) return ec;
  Resolved r;
  if (auto ec = Resolve(path, false, r)) return ec;
  if (r.node == nullptr) return Errc(std::errc::no_such_file_or_directory);
  if (r.node->kind == Kind::kDirectory) return Errc(std::errc::is_a_directory);
  nodes_.erase(r.path);
  return {};
}

std::error_code MemoryFileSystem::CreateDirectories(const fs::path& dir) {
  if (auto ec = Fault("CreateDirectories", dir)) return ec;
  fs::path so_far = "/";
  for (const auto& comp : Components(dir)) {
    so_far /= comp;
    Resolved r;
    if (auto ec = Resolve(so_far, true, r)) return ec;
    if (r.node == nullptr) {
      if (auto ec = ParentIsDirectory(r.path)) return ec;
      Put(r.path, Kind::kDirectory);
    } else if (r.node->kind != Kind::kDirectory) {
      return Errc(std::errc::not_a_directory);
    }
  }
  return {};
}

std::error_code MemoryFileSystem::CreateSymlink(const fs::path& target, const fs::path& link) {
  if (auto ec = Fault("CreateSymlink", link)) return ec;
  Resolved r;
  if (auto ec = Resolve(link, false, r)) return ec;
  if (r.node != nullptr) return Errc(std::errc::file_exists);
  if (auto ec = ParentIsDirectory(r.path)) return ec;
  Put(r.path, Kind::kSymlink).data = target.string();
  return {};
}

fs::path MemoryFileSystem::Canonical(const fs::path& path) const {
  const auto comps = Components(path);
  // The longest part that exists, its links resolved, then the rest as written.
  for (std::size_t k = comps.size() + 1; k-- > 0;) {
    fs::path head = "/";
    for (std::size_t i = 0; i < k; ++i) head /= comps[i];
    Resolved r;
    if (Resolve(head, true, r) || r.node == nullptr) continue;
    fs::path out = r.path;
    for (std::size_t i = k; i < comps.size(); ++i) out /= comps[i];
    return out.lexically_normal();
  }
  return {};
}

std::error_code MemoryFileSystem::HeldByAnotherProcess(const fs::path& path, bool& held) const {
  held = false;
  if (auto ec = Fault("HeldByAnotherProcess", path)) return ec;
  held = Contents(path).has_value() && held_by_others.count(path.string()) > 0;
  return {};
}

std::error_code MemoryFileSystem::LockExclusive(const fs::path& path,
                                                const platform::LockOptions& options,
                                                std::unique_ptr<platform::ExclusiveLock>& lock) {
  lock.reset();
  if (auto ec = Fault("LockExclusive", path)) return ec;
  Resolved r;
  if (auto ec = Resolve(path, true, r)) return ec;
  if (r.node == nullptr) {
    if (!options.create) return Errc(std::errc::no_such_file_or_directory);
    if (auto ec = ParentIsDirectory(r.path)) return ec;
    Put(r.path, Kind::kFile);
  } else if (r.node->kind != Kind::kFile) {
    return platform::FileError::kNotRegularFile;
  }
  if (locked_.contains(r.path)) {
    // One process cannot wait for itself: what would block forever is an error here.
    if (options.on_wait) options.on_wait();
    return Errc(std::errc::resource_deadlock_would_occur);
  }
  locked_.insert(r.path);
  lock = std::make_unique<MemoryLock>(*this, r.path);
  return {};
}

}  // namespace cs::test
