// SPDX-License-Identifier: MIT
// Changing a file in place under its lock (fileio::UpdateFile), as the settings store and the
// port map do: concurrent updates, symbolic links, permissions and the files it must leave alone.
#include "file_update.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "environment.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

unsigned Mode(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class FileUpdateTest : public testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }

  const fs::path dir_ = fs::temp_directory_path() / testsupport::UniqueName("zelvane-update");
  int calls_ = 0;
  // A change that writes "x", counting its calls.
  const fileio::ContentChange writesX_ = [this](const std::string&) {
    ++calls_;
    return std::optional<std::string>("x");
  };
};

}  // namespace

// Each update adds one to a counter kept in the file; with either lock, concurrent writers take
// turns for the whole read-change-replace, so no increment is lost.
TEST_F(FileUpdateTest, ConcurrentUpdatesTakeTurnsAndLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kUpdates = 100;
  for (const fileio::LockOn lock : {fileio::LockOn::LockFile, fileio::LockOn::Folder}) {
    const std::string file = (dir_ / ("count" + std::to_string(static_cast<int>(lock)))).string();
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> failures{0};
    const auto increment = [&](const std::string& current) -> std::optional<std::string> {
      if (inside.fetch_add(1) != 0) ++overlaps;
      const std::string next = std::to_string((current.empty() ? 0 : std::stoi(current)) + 1);
      inside.fetch_sub(1);
      return next;
    };
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
      writers.emplace_back([&] {
        for (int i = 0; i < kUpdates; ++i)
          if (fileio::UpdateFile(file, increment, {.newFileMode = 0600, .lock = lock})) ++failures;
      });
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(Read(file), std::to_string(kThreads * kUpdates));
  }
}

// A chain of links (absolute, then relative) stays as it is; the file at its end is rewritten
// with its permissions, and a new file gets the caller's mode in folders made for it.
TEST_F(FileUpdateTest, LinksStayLinksAndTheFileTheyNameKeepsItsMode) {
  fs::create_directories(dir_ / "kept");
  std::ofstream(dir_ / "kept" / "real") << "old";
  ::chmod((dir_ / "kept" / "real").c_str(), 0640);
  fs::create_symlink("kept/real", dir_ / "middle");
  fs::create_symlink(dir_ / "middle", dir_ / "first");

  std::string seen;
  const auto append = [&](const std::string& current) -> std::optional<std::string> {
    seen = current;
    return current + " new";
  };
  EXPECT_FALSE(fileio::UpdateFile((dir_ / "first").string(), append));
  EXPECT_EQ(seen, "old");
  EXPECT_TRUE(fs::is_symlink(dir_ / "first"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "middle"));
  EXPECT_EQ(Read(dir_ / "kept" / "real"), "old new");
  EXPECT_EQ(Mode(dir_ / "kept" / "real"), 0640u);
  EXPECT_TRUE(fs::exists(dir_ / "kept" / "real.lock"));  // beside the file, not the link

  const fs::path fresh = dir_ / "a" / "b" / "fresh";
  EXPECT_FALSE(fileio::UpdateFile(fresh.string(), writesX_, {.newFileMode = 0604}));
  EXPECT_EQ(Read(fresh), "x");
  EXPECT_EQ(Mode(fresh), 0604u);
  EXPECT_EQ(Mode(dir_ / "a"), 0700u);
}

// A link loop, an existing file that cannot be read and a change that declines or throws leave
// everything as it was, the lock released; failures are worded "Cannot <step> <path>: <reason>".
TEST_F(FileUpdateTest, FilesThatCannotBeReadOrNeedNoChangeAreLeftAlone) {
  const std::string loop = (dir_ / "loop").string();
  fs::create_symlink("other", loop);
  fs::create_symlink("loop", dir_ / "other");
  const auto looped = fileio::UpdateFile(loop, writesX_);
  ASSERT_TRUE(looped);
  EXPECT_EQ(looped->code, ELOOP);
  EXPECT_EQ(looped->Message(), "Cannot read " + loop + ": " + std::strerror(ELOOP));
  EXPECT_TRUE(fs::is_symlink(loop));

  // A folder where the file should be cannot be read, whoever runs the test.
  const std::string folder = (dir_ / "folder").string();
  fs::create_directories(folder);
  const auto unreadable = fileio::UpdateFile(folder, writesX_);
  ASSERT_TRUE(unreadable);
  EXPECT_EQ(unreadable->Message(), "Cannot read " + folder + ": " + std::strerror(EISDIR));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(calls_, 0);

  const fs::path file = dir_ / "file";
  std::ofstream(file) << "kept";
  const auto inode = [&] {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_ino;
  };
  const ino_t before = inode();
  EXPECT_FALSE(fileio::UpdateFile(file.string(),
                                  [](const std::string&) { return std::optional<std::string>(); }));
  EXPECT_THROW(fileio::UpdateFile(file.string(),
                                  [](const std::string&) -> std::optional<std::string> {
                                    throw std::runtime_error("damaged");
                                  }),
               std::runtime_error);
  EXPECT_EQ(inode(), before) << "replaced although nothing changed";
  EXPECT_EQ(Read(file), "kept");
  EXPECT_FALSE(fileio::UpdateFile(file.string(), writesX_));  // the lock was released
  EXPECT_EQ(Read(file), "x");
}
