// A private folder per test, helpers to write and read files in it, and a way to act as an
// ordinary user when the tests run as root.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tocsin-ini-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TTempFolder() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }
  size_t EntryCount() const {
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(path_);
         it != std::filesystem::directory_iterator(); ++it) {
      ++n;
    }
    return n;
  }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The account root hands the work to: "nobody".
inline uid_t OrdinaryUid() {
  const passwd* p = getpwnam("nobody");
  return p ? p->pw_uid : 65534;
}
inline gid_t OrdinaryGid() {
  const passwd* p = getpwnam("nobody");
  return p ? p->pw_gid : 65534;
}

// Runs `body` as an ordinary user: in this process when it is one, otherwise in a child process
// that gives `folder` (not what it holds) to the ordinary user and drops root for good. The child's
// failed checks print as usual and fail the test here; the child gets 60 s.
inline void RunAsOrdinaryUser(const std::filesystem::path& folder,
                              const std::function<void()>& body) {
  if (geteuid() != 0) {
    body();
    return;
  }
  const uid_t uid = OrdinaryUid();
  const gid_t gid = OrdinaryGid();
  ASSERT_EQ(chown(folder.c_str(), uid, gid), 0);
  std::fflush(stdout);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0 || geteuid() == 0) {
      std::fprintf(stderr, "cannot become an ordinary user\n");
      _exit(2);
    }
    body();
    std::fflush(stdout);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  pid_t done = 0;
  while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the ordinary user's part did not finish within 60 s";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the part run as an ordinary user failed (status " << status << ", see above)";
}
