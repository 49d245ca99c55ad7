#include "platform/registry_store.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/reg_file.h"
#include "test_support.h"

namespace cs::platform {
namespace {

constexpr char kHeader[] = "REGEDIT4\r\n\r\n";

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix.SetUserReg(std::string(kHeader) +
                      "[HKEY_CURRENT_USER\\Software\\Quillmarch\\Yield Warden\\PriceFiles]\r\n"
                      "\"SetupComplete\"=\"TRUE\"\r\n"
                      "\"Counter\"=dword:0000002a\r\n"
                      "\"Blob\"=hex:01,02,03\r\n"
                      "\"Multi\"=hex(7):61,00,62,00,00\r\n"
                      "\"Quoted\"=\"say \\\"hi\\\" C:\\\\x\"\r\n"
                      "@=\"default\"\r\n\r\n");
  }

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

  long Set(HKEY h, const char* name, std::uint32_t type, const std::string& bytes) {
    return store.RegSetValueExA(h, name, 0, type,
                                reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<std::uint32_t>(bytes.size()));
  }

  test::TempPrefix prefix;
  RegistryStore store{prefix.user_reg()};
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
  const std::string before = test::ReadFile(prefix.user_reg());
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  ASSERT_EQ(Set(h, "SETUPCOMPLETE", kRegSz, std::string("FALSE\0", 6)), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "NoNul", kRegSz, "abc"), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "Inner", kRegSz, std::string("a\0b", 3)), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "Wide", kRegBinary, std::string(40, '\xab')), ERROR_SUCCESS);
  ASSERT_EQ(Set(h, "Q", 11, std::string("\x01\0\0\0\0\0\0\0", 8)), ERROR_SUCCESS);

  const std::string after = test::ReadFile(prefix.user_reg());
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
}

TEST_F(RegistryStoreTest, AKeyThatIsOnlyAParentGetsABlockOfItsOwn) {
  const HKEY h = Open("software\\quillmarch\\yield warden");
  ASSERT_EQ(Set(h, "InstallAppDir", kRegSz, "C:\\YW"), ERROR_SUCCESS);
  const std::string after = test::ReadFile(prefix.user_reg());
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
    prefix.SetUserReg(corrupt);
    std::uint32_t type = 0;
    std::string bytes;
    EXPECT_EQ(Query(h, "SetupComplete", type, bytes), ERROR_BADDB);
    EXPECT_NE(Set(h, "SetupComplete", kRegSz, "FALSE"), ERROR_SUCCESS);
    EXPECT_EQ(test::ReadFile(prefix.user_reg()), corrupt);
    HKEY other = 0;
    EXPECT_NE(store.RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, 0x3F, &other), ERROR_SUCCESS);
  }
}

TEST_F(RegistryStoreTest, ConcurrentWritersDoNotLoseEachOthersValues) {
  constexpr int kWriters = 4;
  constexpr int kValues = 15;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      RegistryStore mine(prefix.user_reg());
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
  const HKEY h = Open("Software\\Quillmarch\\Yield Warden\\PriceFiles");
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      const std::string name = "W" + std::to_string(w) + "_" + std::to_string(i);
      std::uint32_t type = 0;
      std::string bytes;
      ASSERT_EQ(Query(h, name.c_str(), type, bytes), ERROR_SUCCESS) << name;
      EXPECT_EQ(bytes, name + '\0');
    }
  }
  EXPECT_FALSE(std::filesystem::exists(prefix.root() / ("user.reg.tmp" + std::to_string(getpid()))));
}

}  // namespace
}  // namespace cs::platform
