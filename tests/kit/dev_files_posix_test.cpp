// Development mode's resolution of names below the tree on POSIX: the walk
// of one openat per name gives the answers openat2 gives, and neither ever
// leaves the tree while a directory is swapped for a link leading out.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "vex_resource_builder/dev_files.h"

namespace {

namespace fs = std::filesystem;
using namespace vex_http;
using namespace vex_http::dev_platform;

struct scratch {
  fs::path work = fs::temp_directory_path() / ("vex_dev_files_posix_" + std::to_string(getpid()));
  scratch() {
    fs::remove_all(work);
    fs::create_directories(work / "tree" / "a");
    fs::create_directories(work / "outside");
    std::ofstream(work / "tree" / "a" / "file.txt") << "inside";
    std::ofstream(work / "outside" / "file.txt") << "outside";
  }
  ~scratch() { fs::remove_all(work); }
  void link(const std::string& target, const std::string& name) const {
    fs::create_symlink(target, work / "tree" / name);
  }
};

// True when the kernel opens names below a directory itself.
bool has_openat2(int root) {
  const int fd = open_beneath(root, ".", directory_flags);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

// What one resolver answers: "=<path below work>" for the file it opened, or the error's name.
std::string answer(int fd, const fs::path& work) {
  if (fd < 0) return strerrorname_np(-fd);
  struct stat opened {};
  fstat(fd, &opened);
  ::close(fd);
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(work)) {
    struct stat candidate {};
    if (lstat(entry.path().c_str(), &candidate) == 0 && candidate.st_ino == opened.st_ino &&
        candidate.st_dev == opened.st_dev)
      return "=" + fs::relative(entry.path(), work).string();
  }
  return "=?";
}

TEST(DevFilesPosix, TheWalkAnswersAsOpenat2Does) {
  const scratch s;
  s.link("a/file.txt", "rel");
  s.link("../a/file.txt", "a/up");
  s.link("a", "dirlink");
  s.link("../dirlink/./file.txt", "a/through");
  s.link(".", "dot");
  s.link((s.work / "tree" / "a" / "file.txt").string(), "absolute");
  s.link("../outside/file.txt", "out");
  s.link("../tree/a/file.txt", "out_and_back");
  s.link("../outside", "outdir");
  s.link("../../outside/file.txt", "a/deep_out");
  s.link("loop", "loop");
  s.link("nothing.txt", "dangling");
  s.link("a/file.txt/", "slash");
  s.link("a/..", "dotdot");
  for (int i = 0; i <= link_limit; ++i)  // c0 -> c1 -> ... -> c40 -> a/file.txt
    s.link(i == link_limit ? "a/file.txt" : "c" + std::to_string(i + 1), "c" + std::to_string(i));
  ASSERT_EQ(mkfifo((s.work / "tree" / "fifo").c_str(), 0600), 0);
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (s.work / "tree" / "socket").c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const std::pair<const char*, const char*> cases[] = {
      {"a/file.txt", "=tree/a/file.txt"}, {"rel", "=tree/a/file.txt"},   {"a/up", "=tree/a/file.txt"},
      {"dirlink/file.txt", "=tree/a/file.txt"}, {"a/through", "=tree/a/file.txt"},
      {"dot/dot/a/file.txt", "=tree/a/file.txt"}, {"c1", "=tree/a/file.txt"},  // 40 links
      {"c0", "ELOOP"},  // 41 links
      {"absolute", "EXDEV"}, {"out", "EXDEV"}, {"out_and_back", "EXDEV"}, {"outdir/file.txt", "EXDEV"},
      {"a/deep_out", "EXDEV"}, {"dirlink/../../outside/file.txt", "EXDEV"},
      {"loop", "ELOOP"}, {"dangling", "ENOENT"}, {"slash", "ENOTDIR"}, {"a/file.txt/x", "ENOTDIR"},
      {"nothing/x", "ENOENT"}, {"socket", "ENXIO"}, {"fifo", "=tree/fifo"}, {"a", "=tree/a"}, {"dotdot", "=tree"}};
  const descriptor root(::open((s.work / "tree").c_str(), directory_flags));
  const bool kernel = has_openat2(root.get());
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(answer(open_by_walk(root.get(), path, file_flags), s.work), expected) << "walk: " << path;
    if (kernel) {
      EXPECT_EQ(answer(open_beneath(root.get(), path, file_flags), s.work), expected) << "openat2: " << path;
    }
  }
  ::close(listener);

  // Through the tree: only regular files inside are read, at once.
  dev_tree tree;
  ASSERT_TRUE(tree.open((s.work / "tree").c_str()));
  std::string bytes;
  EXPECT_EQ(tree.read("/dirlink/file.txt", bytes).status, live_read::ok);
  EXPECT_EQ(bytes, "inside");
  for (const char* refused : {"/fifo", "/a", "/out", "/absolute", "/c0"})
    EXPECT_EQ(tree.read(refused, bytes).status, live_read::refused) << refused;
  EXPECT_EQ(tree.read("/socket", bytes).status, live_read::missing);
}

TEST(DevFilesPosix, ADirectorySwappedForALinkOutNeverLeadsOut) {
  const scratch s;
  s.link("../outside", "swap");
  const fs::path real = s.work / "tree" / "a", aside = s.work / "tree" / "aside", link = s.work / "tree" / "swap";
  std::atomic<bool> done{false};
  std::thread swapper([&] {
    for (int cycle = 0; cycle < 1000000 && !done; ++cycle) {
      fs::rename(real, aside);
      fs::rename(link, real);
      fs::rename(real, link);
      fs::rename(aside, real);
    }
  });
  const descriptor root(::open((s.work / "tree").c_str(), directory_flags));
  const bool kernel = has_openat2(root.get());
  int inside = 0, outside = 0, refused = 0;
  for (int i = 0; i < 20000; ++i) {
    const bool walk = !kernel || i % 2 == 0;
    const descriptor file(walk ? open_by_walk(root.get(), "a/file.txt", file_flags)
                               : open_beneath(root.get(), "a/file.txt", file_flags));
    char text[16] = {};
    const ssize_t count = file.get() >= 0 ? ::read(file.get(), text, sizeof text - 1) : -1;
    if (count < 0) ++refused;
    else if (std::string(text) == "inside") ++inside;
    else ++outside;
  }
  done = true;
  swapper.join();
  EXPECT_EQ(outside, 0);
  EXPECT_GT(inside, 0);
  EXPECT_GT(refused, 0) << "the swap was never seen";
}

}  // namespace
