// The real file system, on the real disk: what only the real thing can show (FIFOs that would
// block, atomic replacement, locks between processes).
#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <thread>

#include "memory_file_system.h"
#include "platform/run_error.h"
#include "test_support.h"

namespace cs::platform {
namespace {

namespace fs = std::filesystem;

// Runs `body` in a child process and fails when it does not end within ten seconds (a read of
// a FIFO without a writer would wait forever) or when it returns false.
using test::ExpectInChildWithoutWaiting;

// A child process that takes something (`take`, false when it cannot), says so, and holds it until
// released: whatever it holds goes with the process when it exits.
class HoldingChild {
 public:
  explicit HoldingChild(const std::function<bool()>& take) {
    if (pipe(taken_) != 0 || pipe(release_) != 0) return;
    pid_ = fork();
    if (pid_ != 0) return;
    char c = 'T';
    if (!take() || write(taken_[1], &c, 1) != 1 || read(release_[0], &c, 1) != 1) _exit(1);
    _exit(0);
  }
  ~HoldingChild() {
    Release();
    EndedWell();
    for (int fd : {taken_[0], taken_[1], release_[0], release_[1]}) close(fd);
  }
  bool WaitTaken() {
    char c = 0;
    return pid_ > 0 && read(taken_[0], &c, 1) == 1;
  }
  void Release() {
    if (released_) return;
    released_ = true;
    char c = 'R';
    EXPECT_EQ(write(release_[1], &c, 1), 1);
  }
  // Waits for the child: true when it took, held and let go as asked.
  bool EndedWell() {
    if (pid_ <= 0) return false;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  int taken_[2] = {-1, -1}, release_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool released_ = false;
};

class PosixFileSystemTest : public ::testing::Test {
 protected:
  PosixFileSystemTest() {
    std::string tmpl = (fs::temp_directory_path() / "cs-posix-XXXXXX").string();
    dir = mkdtemp(tmpl.data());
  }
  ~PosixFileSystemTest() override {
    std::error_code ec;
    fs::permissions(dir / "ro", fs::perms::owner_all, ec);
    fs::remove_all(dir, ec);
  }
  // Names in the folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir;
  PosixFileSystem files;
};

TEST_F(PosixFileSystemTest, OnlyRegularFilesAreReadAndNothingWaits) {
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  fs::create_directory(dir / "folder");
  test::WriteFile(dir / "file", "bytes");
  ExpectInChildWithoutWaiting([&] {
    const std::error_code not_regular = FileError::kNotRegularFile;
    bool ok = true;
    for (const fs::path& p : {dir / "fifo", dir / "folder", fs::path("/dev/null")}) {
      std::string bytes = "left";
      ok = ok && files.ReadFile(p, bytes, nullptr) == not_regular;
      std::unique_ptr<ExclusiveLock> lock;
      ok = ok && files.LockExclusive(p, {}, lock) == not_regular && lock == nullptr;
    }
    ok = ok && files.WriteFile(dir / "fifo", "x", true) == not_regular;
    ok = ok && files.CopyFile(dir / "fifo", dir / "copy") == not_regular;
    std::string bytes;
    ok = ok &&
         files.ReadFile(dir / "missing", bytes, nullptr) == std::errc::no_such_file_or_directory;
    FileStat stat;
    ok = ok && !files.ReadFile(dir / "file", bytes, &stat) && bytes == "bytes";
    return ok && stat == files.Stat(dir / "file") && stat.size == 5 &&
           files.Stat(dir / "fifo").kind == FileKind::kOther &&
           files.Stat(dir / "folder").kind == FileKind::kDirectory &&
           files.Stat(dir / "missing").kind == FileKind::kMissing;
  });
  EXPECT_FALSE(fs::exists(dir / "copy"));
}

TEST_F(PosixFileSystemTest, AtomicWritesReplaceWholeOrLeaveTheOldFile) {
  const fs::path file = dir / "user.reg";
  FileStat stat;
  ASSERT_FALSE(files.WriteFileAtomically(file, "first", IfExists::kReplace, &stat));
  EXPECT_EQ(test::ReadFile(file), "first");
  EXPECT_EQ(stat, files.Stat(file));
  // The new file takes the old one's permissions.
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  ASSERT_FALSE(files.WriteFileAtomically(file, "second", IfExists::kReplace, nullptr));
  EXPECT_EQ(test::ReadFile(file), "second");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(files.Stat(file).inode, stat.inode);
  // Only a new file is made when asked so.
  EXPECT_EQ(files.WriteFileAtomically(file, "third", IfExists::kFail, nullptr),
            std::errc::file_exists);
  EXPECT_EQ(test::ReadFile(file), "second");
  EXPECT_FALSE(files.WriteFileAtomically(dir / "new", "fresh", IfExists::kFail, nullptr));
  EXPECT_EQ(test::ReadFile(dir / "new"), "fresh");
  // A target that cannot be replaced: an error, and no file left behind.
  fs::create_directories(dir / "full" / "inside");
  EXPECT_TRUE(files.WriteFileAtomically(dir / "full", "x", IfExists::kReplace, nullptr));
  EXPECT_TRUE(fs::is_directory(dir / "full" / "inside"));
  EXPECT_TRUE(files.WriteFileAtomically(dir / "no" / "such", "x", IfExists::kReplace, nullptr));
  if (geteuid() != 0) {  // root writes anywhere
    ASSERT_EQ(chmod(file.c_str(), 0400), 0);
    EXPECT_EQ(files.WriteFileAtomically(file, "x", IfExists::kReplace, nullptr),
              std::errc::permission_denied);
    EXPECT_EQ(test::ReadFile(file), "second");
    fs::create_directory(dir / "ro");
    test::WriteFile(dir / "ro" / "f", "kept");
    ASSERT_EQ(chmod((dir / "ro").c_str(), 0555), 0);
    EXPECT_TRUE(files.WriteFileAtomically(dir / "ro" / "f", "x", IfExists::kReplace, nullptr));
    EXPECT_EQ(test::ReadFile(dir / "ro" / "f"), "kept");
  }
  for (const auto& name : Entries()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

TEST_F(PosixFileSystemTest, TextIsWrittenAppendedAndCopiedIntoNewFilesOnly) {
  const fs::path log = dir / "run.log";
  ASSERT_FALSE(files.WriteFile(log, "one\r\n", true));
  ASSERT_FALSE(files.WriteFile(log, "two\r\n", true));
  EXPECT_EQ(test::ReadFile(log), "one\r\ntwo\r\n");
  ASSERT_FALSE(files.WriteFile(log, "new\r\n", false));
  EXPECT_EQ(test::ReadFile(log), "new\r\n");
  EXPECT_TRUE(files.WriteFile(dir / "no" / "such.log", "x", true));

  ASSERT_FALSE(files.CopyFile(log, dir / "copy"));
  EXPECT_EQ(test::ReadFile(dir / "copy"), "new\r\n");
  test::WriteFile(dir / "taken", "mine");
  EXPECT_EQ(files.CopyFile(log, dir / "taken"), std::errc::file_exists);
  EXPECT_EQ(test::ReadFile(dir / "taken"), "mine");
  EXPECT_TRUE(files.CopyFile(dir / "missing", dir / "copy2"));
  EXPECT_FALSE(fs::exists(dir / "copy2"));

  ASSERT_FALSE(files.RenameDurably(dir / "copy", dir / "moved"));
  EXPECT_EQ(test::ReadFile(dir / "moved"), "new\r\n");
  EXPECT_FALSE(files.Remove(dir / "moved"));
  EXPECT_EQ(files.Remove(dir / "moved"), std::errc::no_such_file_or_directory);
}

TEST_F(PosixFileSystemTest, FoldersLinksAndCanonicalPaths) {
  ASSERT_FALSE(files.CreateDirectories(dir / "a" / "b"));
  ASSERT_FALSE(files.CreateDirectories(dir / "a" / "b"));  // existing: no error
  test::WriteFile(dir / "a" / "file", "x");
  EXPECT_TRUE(files.CreateDirectories(dir / "a" / "file"));
  ASSERT_FALSE(files.CreateSymlink("a/b", dir / "link"));
  EXPECT_EQ(files.CreateSymlink("a", dir / "link"), std::errc::file_exists);
  std::vector<std::string> names;
  ASSERT_FALSE(files.ListDirectory(dir / "a", names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"b", "file"}));
  EXPECT_TRUE(files.ListDirectory(dir / "missing", names));
  const fs::path real = fs::canonical(dir);
  EXPECT_EQ(files.Canonical(dir / "link" / ".." / "b" / "new.txt"), real / "a" / "b" / "new.txt");
  EXPECT_EQ(files.Stat(dir / "link").kind, FileKind::kDirectory);
}

TEST_F(PosixFileSystemTest, TheLockIsExclusiveBetweenProcesses) {
  const fs::path file = dir / "db.yw";
  test::WriteFile(file, "db");
  std::unique_ptr<ExclusiveLock> held;
  HoldingChild holder([&] { return !files.LockExclusive(file, {}, held); });  // the lock goes with the process
  ASSERT_TRUE(holder.WaitTaken());
  int waits = 0;
  LockOptions options;
  options.on_wait = [&] {
    ++waits;
    holder.Release();  // let the holder go, now that this one waits
  };
  std::unique_ptr<ExclusiveLock> lock;
  ASSERT_FALSE(files.LockExclusive(file, options, lock));
  EXPECT_NE(lock, nullptr);
  EXPECT_EQ(waits, 1);
  EXPECT_TRUE(holder.EndedWell());
  // A missing file is an error, unless it may be made.
  std::unique_ptr<ExclusiveLock> other;
  EXPECT_EQ(files.LockExclusive(dir / "none.lock", {}, other),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(other, nullptr);
  LockOptions create;
  create.create = true;
  EXPECT_FALSE(files.LockExclusive(dir / "none.lock", create, other));
  EXPECT_TRUE(fs::is_regular_file(dir / "none.lock"));
}

// Another program's hold on a Jet lock file: a byte range locked by another process, read or
// write, anywhere in the file, even beyond its end (where Jet locks its user slots); nothing held
// once that process has gone, the file left behind.
TEST_F(PosixFileSystemTest, ARangeLockedByAnotherProcessIsSeen) {
  const fs::path ldb = dir / "db.ldb";
  test::WriteFile(ldb, std::string(64, '\0'));
  struct Case {
    short type;
    off_t start;
    off_t length;
  } cases[] = {{F_WRLCK, 0, 1}, {F_RDLCK, 20, 4}, {F_WRLCK, 0x10000000, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    HoldingChild holder([&] {
      const int fd = ::open(ldb.c_str(), O_RDWR);
      struct flock range {};
      range.l_type = c.type;
      range.l_whence = SEEK_SET;
      range.l_start = c.start;
      range.l_len = c.length;
      return fd >= 0 && fcntl(fd, F_SETLK, &range) == 0;
    });
    ASSERT_TRUE(holder.WaitTaken());
    bool held = false;
    EXPECT_FALSE(files.HeldByAnotherProcess(ldb, held));
    EXPECT_TRUE(held);
    holder.Release();
    EXPECT_TRUE(holder.EndedWell());
    EXPECT_FALSE(files.HeldByAnotherProcess(ldb, held));
    EXPECT_FALSE(held) << "a lock left by a process that has gone";
  }
  bool held = true;
  EXPECT_FALSE(files.HeldByAnotherProcess(dir / "none.ldb", held));
  EXPECT_FALSE(held);
  EXPECT_EQ(files.HeldByAnotherProcess(dir, held), FileError::kNotRegularFile);
}

// A holder's file is renamed over while another process waits for it: the waiter must end up
// holding the file that has the name now, not the one that was replaced.
TEST_F(PosixFileSystemTest, AFileReplacedWhileWaitedForIsLockedAgain) {
  const fs::path file = dir / "user.reg.lock";
  test::WriteFile(file, "");
  int taken[2], release[2];
  ASSERT_EQ(pipe(taken), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    std::unique_ptr<ExclusiveLock> lock;
    if (files.LockExclusive(file, {}, lock)) _exit(1);
    char c = 'L';
    if (write(taken[1], &c, 1) != 1 || read(release[0], &c, 1) != 1) _exit(2);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(taken[0], &c, 1), 1);
  std::atomic<int> waits = 0;
  std::unique_ptr<ExclusiveLock> lock;
  std::error_code result;
  std::thread waiter([&] {
    LockOptions options;
    options.create = true;
    options.follow_replacement = true;
    options.on_wait = [&] { ++waits; };
    result = files.LockExclusive(file, options, lock);
  });
  while (waits == 0) usleep(1000);
  test::WriteFile(dir / "fresh", "");
  ASSERT_EQ(rename((dir / "fresh").c_str(), file.c_str()), 0);
  c = 'R';
  ASSERT_EQ(write(release[1], &c, 1), 1);
  waiter.join();
  ASSERT_FALSE(result);
  EXPECT_EQ(waits, 1);
  int status = 0;
  waitpid(holder, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Another process finds the file of that name locked.
  ExpectInChildWithoutWaiting([&] {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  });
  for (int fd : {taken[0], taken[1], release[0], release[1]}) close(fd);
}

TEST_F(PosixFileSystemTest, RandomAccessReadsAndWritesAtOffsetsOfRegularFilesOnly) {
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  fs::create_directory(dir / "folder");
  ExpectInChildWithoutWaiting([&] {
    const std::error_code not_regular = FileError::kNotRegularFile;
    bool ok = true;
    for (const fs::path& p : {dir / "fifo", dir / "folder", fs::path("/dev/null")}) {
      for (const bool writable : {false, true}) {
        std::unique_ptr<RandomAccessFile> file;
        const auto ec = files.OpenRandomAccess(p, writable, file);
        // A folder opened for writing is EISDIR before it can be examined.
        ok = ok && (ec == not_regular || ec == std::errc::is_a_directory) && file == nullptr;
      }
    }
    std::unique_ptr<RandomAccessFile> file;
    return ok && files.OpenRandomAccess(dir / "missing", true, file) ==
                     std::errc::no_such_file_or_directory;
  });

  // The same behaviour from the real file system and from the tests' memory one.
  test::MemoryFileSystem memory;
  memory.AddFile("/db", "0123456789");
  test::WriteFile(dir / "db", "0123456789");
  const auto contents = [&](FileSystem& system, const fs::path& path) {
    std::string bytes;
    EXPECT_FALSE(system.ReadFile(path, bytes, nullptr));
    return bytes;
  };
  for (auto [system, path] : {std::pair<FileSystem*, fs::path>{&files, dir / "db"},
                              std::pair<FileSystem*, fs::path>{&memory, "/db"}}) {
    SCOPED_TRACE(path);
    std::unique_ptr<RandomAccessFile> file;
    ASSERT_FALSE(system->OpenRandomAccess(path, true, file));
    const std::uint8_t patch[] = {'a', 'b'};
    EXPECT_FALSE(file->WriteAt(4, patch));
    EXPECT_FALSE(file->WriteAt(12, patch));  // past the end: the gap reads as zeros
    std::uint64_t size = 0;
    EXPECT_FALSE(file->Size(size));
    EXPECT_EQ(size, 14u);
    std::array<std::uint8_t, 4> got{};
    EXPECT_FALSE(file->ReadAt(3, got));
    EXPECT_EQ(got, (std::array<std::uint8_t, 4>{'3', 'a', 'b', '6'}));
    EXPECT_EQ(file->ReadAt(11, got), std::error_code(FileError::kEndOfFile));
    EXPECT_FALSE(file->Sync());
    file.reset();
    const std::string expected("0123ab6789\0\0ab", 14);
    EXPECT_EQ(contents(*system, path), expected);

    ASSERT_FALSE(system->OpenRandomAccess(path, false, file));
    EXPECT_EQ(file->WriteAt(0, patch), std::errc::bad_file_descriptor);
    EXPECT_EQ(contents(*system, path), expected);
  }
  memory.AddSpecial("/fifo");
  std::unique_ptr<RandomAccessFile> file;
  EXPECT_EQ(memory.OpenRandomAccess("/fifo", false, file),
            std::error_code(FileError::kNotRegularFile));
}

}  // namespace
}  // namespace cs::platform
