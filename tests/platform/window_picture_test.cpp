// Where the window finds its background picture: beside the program as the build puts it, or in
// the installed share folder; a program copied anywhere else runs with a plain window.
#include <gtest/gtest.h>

#include "platform/memory_file_system.h"
#include "platform/ui.h"

namespace cs::platform {
namespace {

TEST(WindowPictureTest, BesideTheProgramOrInTheInstalledShareFolder) {
  struct Case {
    std::string program_dir;
    std::vector<std::string> files;    // regular files
    std::vector<std::string> folders;  // folders named as the picture is
    std::string found;                 // "" for none
  } cases[] = {
      // The build folder.
      {"/src/build", {"/src/build/acefeedpump.gif"}, {}, "/src/build/acefeedpump.gif"},
      // Installed, and installed under any other root.
      {"/usr/bin",
       {"/usr/share/catalogsync/acefeedpump.gif"},
       {},
       "/usr/share/catalogsync/acefeedpump.gif"},
      {"/tmp/pkg/usr/bin",
       {"/tmp/pkg/usr/share/catalogsync/acefeedpump.gif"},
       {},
       "/tmp/pkg/usr/share/catalogsync/acefeedpump.gif"},
      {"/usr/bin",
       {"/usr/bin/acefeedpump.gif", "/usr/share/catalogsync/acefeedpump.gif"},
       {},
       "/usr/bin/acefeedpump.gif"},
      // A copy of the program elsewhere, folders and other names: none.
      {"/home/me/tools", {"/usr/share/catalogsync/acefeedpump.gif"}, {}, ""},
      {"/usr/bin", {}, {"/usr/bin/acefeedpump.gif", "/usr/share/catalogsync/acefeedpump.gif"}, ""},
      {"/usr/bin", {"/usr/share/catalogsync/AceFeedPump.GIF", "/usr/bin/picture.gif"}, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program_dir + " " + (c.files.empty() ? "" : c.files[0]));
    test::MemoryFileSystem files;
    files.AddDirectory(c.program_dir);
    for (const auto& f : c.files) files.AddFile(f, "GIF89a");
    for (const auto& d : c.folders) files.AddDirectory(d);
    EXPECT_EQ(FindWindowPicture(files, c.program_dir).string(), c.found);
  }
}

}  // namespace
}  // namespace cs::platform
