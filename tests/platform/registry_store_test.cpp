#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace cs::platform {
namespace {

constexpr char kHeader[] = "REGEDIT4\r\n\r\n";
constexpr char kUserReg[] = "/prefix/user.reg";

// The four registry functions over a user.reg in memory.
class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUserReg(std::string(kHeader) +
               "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n"
               "\"SetupComplete\"=\"TRUE\"\r\n"
               "\"Counter\"=dword:0000002a\r\n"
               "\"Blob\"=hex:01,02,03\r\n"
               "\"Multi\"=hex(7):61,00,62,00,00\r\n"
               "\"Quoted\"=\"say \\\"hi\\\" C:\\\\x\"\r\n"
               "@=\"default\"\r\n\r\n");
  }

  void SetUserReg(const std::string& text) { files.AddFile(kUserReg, text); }
  std::string UserReg() const { return files.Contents(kUserReg).value_or("(none)"); }

  HKEY Open(const char* path) {
    HKEY h = 0;
    EXPECT_EQ(store.RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, 0x3F, &h), ERROR_SUCCESS) << path;
    return h;
  }

  // Reads a value: its type and bytes, or the error code.
  long Query(HKEY h, const char* name, std::uint32_t& type, std::string& bytes) {
    std::uint32_t size = 0;
    long rc = store.RegQueryValueExA(h, name, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return rc;
    bytes.assign(size, '\x7f');
    rc = store.RegQueryValueExA(h, name, nullptr, &type,
                                reinterpret_cast<std::uint8_t*>(bytes.data()), &size);
    bytes.resize(size);
    return rc;
  }
  std::string QueryText(HKEY h, const char* name) {
    std::uint32_t type = 0;
    std::string bytes;
    const long rc = Query(h, name, type, bytes);
    return rc == ERROR_SUCCESS ? bytes : "error " + std::to_string(rc);
  }

  long Set(HKEY h, const char* name, std::uint32_t type, const std::string& bytes) {
    return store.RegSetValueExA(h, name, 0, type,
                                reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<std::uint32_t>(bytes.size()));
  }

  test::MemoryFileSystem files;
  RegistryStore store{files, kUserReg};
};

TEST_F(RegistryStoreTest, ReadsEveryTypeAsStored) {
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  struct Case {
    const char* name;
    std::uint32_t type;
    std::string bytes;
  } cases[] = {
      {"SetupComplete", kRegSz, std::string("TRUE\0", 5)},
      {"setupcomplete", kRegSz, std::string("TRUE\0", 5)},  // names ignore letter case
      {"Counter", kRegDword, std::string("\x2a\0\0\0", 4)},
      {"Blob", kRegBinary, "\x01\x02\x03"},
      {"Multi", 7, std::string("a\0b\0\0", 5)},
      {"Quoted", kRegSz, std::string("say \"hi\" C:\\x\0", 14)},
      {"", kRegSz, std::string("default\0", 8)},
  };
  for (const auto& c : cases) {
    std::uint32_t type = 0;
    std::string bytes;
    ASSERT_EQ(Query(h, c.name, type, bytes), ERROR_SUCCESS) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(bytes, c.bytes) << c.name;
  }
  std::uint32_t type = 0;
  std::string bytes;
  EXPECT_EQ(Query(h, "Missing", type, bytes), ERROR_FILE_NOT_FOUND);
  // A buffer too small is refused with the size needed.
  std::uint8_t small[2];
  std::uint32_t size = sizeof small;
  EXPECT_EQ(store.RegQueryValueExA(h, "SetupComplete", nullptr, &type, small, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(store.RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_EQ(store.RegCloseKey(h), ERROR_INVALID_HANDLE);
  EXPECT_NE(store.RegCloseKey(0), ERROR_SUCCESS);
}

// A value written with the bytes and type it holds already leaves the file as it is; any other
// value, or another type of the same bytes, writes it.
TEST_F(RegistryStoreTest, AValueThatHoldsItsDataAlreadyIsNotWrittenAgain) {
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  const auto state = [&] { return files.Stat(kUserReg); };
  const platform::FileStat before = state();
  EXPECT_EQ(Set(h, "SetupComplete", kRegSz, "TRUE"), ERROR_SUCCESS);
  EXPECT_EQ(Set(h, "setupcomplete", kRegSz, std::string("TRUE\0", 5)), ERROR_SUCCESS);
  EXPECT_EQ(state(), before);
  struct Case {
    std::uint32_t type;
    std::string bytes;
  } changes[] = {{kRegSz, "FALSE"}, {kRegExpandSz, "FALSE"}, {kRegSz, ""}};
  for (const auto& c : changes) {
    const platform::FileStat prior = state();
    EXPECT_EQ(Set(h, "SetupComplete", c.type, c.bytes), ERROR_SUCCESS);
    EXPECT_NE(state(), prior) << c.bytes;
  }
}

TEST_F(RegistryStoreTest, KeysExistWithTheirBlocksAndParents) {
  struct Case {
    const char* path;
    bool exists;
  } cases[] = {
      {"Software\\Quillmarch\\Yield Warden\\PriceFiles", true},
      {"SOFTWARE\\QUILLMARCH\\YIELD WARDEN", true},  // a parent of a block
      {"Software\\Quillmarch", true},
      {"Software", true},
      {"Software\\Quill", false},  // a prefix of a name is not a parent
      {"Software\\Quillmarch\\Yield Warden\\PriceFiles\\Deeper", false},
      {"Software\\Brackenfield Systems\\Yield Warden", false},
  };
  for (const auto& c : cases) {
    HKEY h = 0;
    const long rc = store.RegOpenKeyExA(HKEY_CURRENT_USER, c.path, 0, 0x20019, &h);
    EXPECT_EQ(rc == ERROR_SUCCESS, c.exists) << c.path;
    EXPECT_EQ(h != 0, c.exists) << c.path;
    store.RegCloseKey(h);
  }
}

TEST_F(RegistryStoreTest, WritesKeepTextByteForByteAndDropTheWritersNul) {
  const std::string before = UserReg();
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  ASSERT_EQ(Set(h, "SETUPCOMPLETE", kRegSz, std::string("FALSE\0", 6)), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "NoNul", kRegSz, "abc"), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "Inner", kRegSz, std::string("a\0b", 3)), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "Wide", kRegBinary, std::string(40, '\xab')), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "Q", 11, std::string("\x01\0\0\0\0\0\0\0", 8)), ERROR_SUCCESS);

  const std::string after = UserReg();
  // The replaced value keeps its place and the case in which it was first written.
  EXPECT_NE(after.find("\"SetupComplete\"=\"FALSE\"\r\n\"Counter\"=dword:0000002a"),
            std::string::npos) << after;
  EXPECT_NE(after.find("\"NoNul\"=\"abc\"\r\n"), std::string::npos);
  EXPECT_NE(after.find("\"Inner\"=hex(1):61,00,62\r\n"), std::string::npos);
  EXPECT_NE(after.find("\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"), std::string::npos);
  // Everything else is unchanged.
  EXPECT_TRUE(after.starts_with(before.substr(0, before.find("\"SetupComplete\""))));
  EXPECT_NE(after.find("\"Multi\"=hex(7):61,00,62,00,00\r\n\"Quoted\""), std::string::npos);

  std::uint32_t type = 0;
  std::string bytes;
  ASSERT_EQ(Query(h, "SetupComplete", type, bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string("FALSE\0", 6));
  ASSERT_EQ(Query(h, "NoNul", type, bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string("abc\0", 4));  // stored with or without: read alike
  ASSERT_EQ(Query(h, "Inner", type, bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string("a\0b\0", 4));
  ASSERT_EQ(Query(h, "Wide", type, bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, std::string(40, '\xab'));
  EXPECT_EQ(type, kRegBinary);
  // A second store, which reads the file itself, sees the same values.
  RegistryStore other(files, kUserReg);
  HKEY o = 0;
  ASSERT_EQ(other.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmarch\\Yield Warden\\PriceFiles",
                                0, 0x3F, &o),
            ERROR_SUCCESS);
  EXPECT_EQ(other.RegQueryValueExA(o, "Wide", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, kRegBinary);
}

TEST_F(RegistryStoreTest, AKeyThatIsOnlyAParentGetsABlockOfItsOwn) {
  const HKEY h = Open("software\\quillmarch\\yield warden");
  ASSERT_EQ(Set(h, "InstallAppDir", kRegSz, "C:\\YW"), ERROR_SUCCESS);
  const std::string after = UserReg();
  EXPECT_NE(after.find("[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden]\r\n"
                       "\"InstallAppDir\"=\"C:\\\\YW\"\r\n"),
            std::string::npos) << after;
  std::uint32_t type = 0;
  std::string bytes;
  EXPECT_EQ(Query(h, "InstallAppDir", type, bytes), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, AnUnparseableFileIsAnErrorAndIsNeverOverwritten) {
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  for (const std::string& corrupt : {std::string("REGEDIT5\r\n[x]\r\n"), std::string("\0\1\2", 3),
                                    std::string("REGEDIT4\r\n\"a\"=\"b\0c\"\r\n", 22),
                                    std::string()}) {
    SetUserReg(corrupt);
    std::uint32_t type = 0;
    std::string bytes;
    EXPECT_EQ(Query(h, "SetupComplete", type, bytes), ERROR_BADDB);
    EXPECT_NE(Set(h, "SetupComplete", kRegSz, "FALSE"), ERROR_SUCCESS);
    EXPECT_EQ(UserReg(), corrupt);
    HKEY other = 0;
    EXPECT_NE(store.RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, 0x3F, &other), ERROR_SUCCESS);
  }
}

TEST_F(RegistryStoreTest, TheFileIsReadAgainOnlyWhenItHasChanged) {
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  const int after_open = files.reads;
  for (int i = 0; i < 20; ++i) EXPECT_EQ(QueryText(h, "SetupComplete"), std::string("TRUE\0", 5));
  EXPECT_EQ(files.reads, after_open);
  // Its own write does not make the file new to it; another writer's change is seen at once.
  ASSERT_EQ(Set(h, "SetupComplete", kRegSz, "FALSE"), ERROR_SUCCESS);
  EXPECT_EQ(QueryText(h, "SetupComplete"), std::string("FALSE\0", 6));
  EXPECT_EQ(files.reads, after_open);
  SetUserReg(std::string(kHeader) +
             "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n"
             "\"SetupComplete\"=\"ELSE\"\r\n");
  EXPECT_EQ(QueryText(h, "SetupComplete"), std::string("ELSE\0", 5));
  EXPECT_EQ(files.reads, after_open + 1);
  // A write re-reads a file changed since, so the other writer's values stay.
  SetUserReg(UserReg() + "\"Other\"=\"kept\"\r\n");
  ASSERT_EQ(Set(h, "Mine", kRegSz, "new"), ERROR_SUCCESS);
  EXPECT_NE(UserReg().find("\"Other\"=\"kept\"\r\n\"Mine\"=\"new\"\r\n"), std::string::npos)
      << UserReg();
  // A removed file is missing at once, and a bad one is an error until it is mended.
  files.Remove(kUserReg);
  EXPECT_EQ(QueryText(h, "Mine"), "error 2");
  SetUserReg("REGEDIT5\r\n");
  EXPECT_EQ(QueryText(h, "Mine"), "error 1009");
  const int bad_reads = files.reads;
  EXPECT_EQ(QueryText(h, "Mine"), "error 1009");
  EXPECT_EQ(files.reads, bad_reads);
  SetUserReg(std::string(kHeader) +
             "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n"
             "\"Mine\"=\"mended\"\r\n");
  EXPECT_EQ(QueryText(h, "Mine"), std::string("mended\0", 7));
}

TEST_F(RegistryStoreTest, FailuresOfTheFileSystemAreErrorsAndLoseNothing) {
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  const std::string before = UserReg();
  // A lock that cannot be taken, a read or a replacement that fails: the write is refused and
  // the file keeps what it had.
  for (const char* failing : {"LockExclusive", "ReadFile", "WriteFileAtomically"}) {
    files.fault = [&](std::string_view op, const std::filesystem::path&) {
      return op == failing ? std::make_error_code(std::errc::io_error) : std::error_code();
    };
    SetUserReg(before);  // changed, so that the write reads it
    EXPECT_NE(Set(h, "SetupComplete", kRegSz, "FALSE"), ERROR_SUCCESS) << failing;
    files.fault = nullptr;
    EXPECT_EQ(UserReg(), before) << failing;
    EXPECT_EQ(QueryText(h, "SetupComplete"), std::string("TRUE\0", 5)) << failing;
  }
  // A user.reg that is not a regular file (a FIFO, a device, a folder) is never read, nor
  // replaced.
  for (const bool folder : {false, true}) {
    test::MemoryFileSystem odd;
    if (folder) {
      odd.AddDirectory(kUserReg);
    } else {
      odd.AddSpecial(kUserReg);
    }
    RegistryStore other(odd, kUserReg);
    HKEY k = 0;
    EXPECT_EQ(other.RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, 0x3F, &k), ERROR_ACCESS_DENIED);
    EXPECT_EQ(other.RegSetValueExA(HKEY_CURRENT_USER, "x", 0, kRegSz,
                                   reinterpret_cast<const std::uint8_t*>("y"), 1),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(odd.reads, 2);
    EXPECT_EQ(odd.Stat(kUserReg).kind, folder ? FileKind::kDirectory : FileKind::kOther);
  }
}

std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (const char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

TEST_F(RegistryStoreTest, VersionFiveFilesKeepWhatTheAnsiFunctionsCannotSee) {
  // UTF-16LE with a byte-order mark, as regedit exports it: a key the program never touches
  // holds Chinese, Greek, a character beyond the basic plane and a lone surrogate.
  const std::u16string head =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Other\\\u4e2d\u6587]\r\n"
      u"\"\u0394\u03b5\u03bb\u03c4\u03b1\"=\"\u6c49\u5b57 \U0001F600 \xd800 x\"\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n";
  const std::string unchanged = "\xFF\xFE" + Utf16Le(head);
  SetUserReg(unchanged + Utf16Le(u"\"SetupComplete\"=\"TRUE\"\r\n\r\n"));
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  EXPECT_EQ(QueryText(h, "SetupComplete"), std::string("TRUE\0", 5));
  ASSERT_EQ(Set(h, "SetupComplete", kRegSz, "caf\xe9"), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "New", kRegSz, "\x80"), ERROR_SUCCESS);  // the euro sign in Windows-1252
  EXPECT_EQ(QueryText(h, "SetupComplete"), std::string("caf\xe9\0", 5));
  // Everything but the changed lines is the same bytes; the new text is UTF-16LE too.
  EXPECT_EQ(UserReg(), unchanged + Utf16Le(u"\"SetupComplete\"=\"caf\u00e9\"\r\n"
                                           u"\"New\"=\"\u20ac\"\r\n\r\n"));
  // The key of Chinese name is there, but no ANSI name reaches it: "?" is no Chinese character.
  HKEY other = 0;
  EXPECT_EQ(store.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, 0x3F, &other),
            ERROR_SUCCESS);
  EXPECT_EQ(store.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Other\\\x3f\x3f", 0, 0x3F, &other),
            ERROR_FILE_NOT_FOUND);
}

// On the real disk: user.reg a FIFO (a read would wait for a writer forever) and two processes
// that write at once.
TEST(RegistryStoreOnDiskTest, AFifoIsNotReadable) {
  test::TempPrefix prefix;
  std::filesystem::remove(prefix.user_reg());
  ASSERT_EQ(mkfifo(prefix.user_reg().c_str(), 0644), 0);
  test::ExpectInChildWithoutWaiting([&] {
    RegistryStore store(prefix.files(), prefix.user_reg());
    HKEY h = 0;
    const long open = store.RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, 0x3F, &h);
    const long set = store.RegSetValueExA(HKEY_CURRENT_USER, "x", 0, kRegSz,
                                          reinterpret_cast<const std::uint8_t*>("y"), 1);
    return open == ERROR_ACCESS_DENIED && set == ERROR_ACCESS_DENIED;
  });
  struct stat st {};
  ASSERT_EQ(lstat(prefix.user_reg().c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(RegistryStoreOnDiskTest, ConcurrentWritersDoNotLoseEachOthersValues) {
  test::TempPrefix prefix;
  constexpr int kWriters = 4;
  constexpr int kValues = 15;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RegistryStore mine(prefix.files(), prefix.user_reg());
      HKEY h = 0;
      if (mine.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmarch\\Yield Warden\\PriceFiles",
                             0, 0x3F, &h) != 0) {
        _exit(2);
      }
      for (int i = 0; i < kValues; ++i) {
        const std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
        if (mine.RegSetValueExA(h, name.c_str(), 0, kRegSz,
                                reinterpret_cast<const std::uint8_t*>(name.data()),
                                static_cast<std::uint32_t>(name.size())) != 0) {
          _exit(3);
        }
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryStore store(prefix.files(), prefix.user_reg());
  HKEY h = 0;
  ASSERT_EQ(store.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmarch\\Yield Warden\\PriceFiles",
                                0, 0x3F, &h),
            ERROR_SUCCESS);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      const std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
      std::uint32_t type = 0;
      std::uint32_t size = 64;
      std::string bytes(size, '\0');
      ASSERT_EQ(store.RegQueryValueExA(h, name.c_str(), nullptr, &type,
                                       reinterpret_cast<std::uint8_t*>(bytes.data()), &size),
                ERROR_SUCCESS)
          << name;
      bytes.resize(size);
      EXPECT_EQ(bytes, name + '\0');
    }
  }
  // No temporary file is left beside it.
  for (const auto& entry : std::filesystem::directory_iterator(prefix.root())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("user.reg.tmp")) << entry.path();
  }
}

}  // namespace
}  // namespace cs::platform
