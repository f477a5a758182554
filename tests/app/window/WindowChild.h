// The program's real window on the real back-ends (tocsin_window_child) in a process of its own,
// for tests whose audio server goes away or that drive the window as a user does: its state
// lines come on a pipe, commands go to its stdin (see WindowChildMain.cpp).
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

class TWindowChild {
 public:
  // server: the JACK server the child talks to; empty for the one this process talks to.
  TWindowChild(const std::vector<std::string>& args, const std::string& server) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
      if (!server.empty()) setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(TOCSIN_WINDOW_CHILD));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(TOCSIN_WINDOW_CHILD, argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~TWindowChild() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (to_ >= 0) close(to_);
    if (from_ >= 0) close(from_);
  }

  bool Ok() const { return pid_ > 0 && from_ >= 0; }
  // Reads lines until one equals line (or starts with it); every line read is kept.
  bool WaitFor(const std::string& line, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      for (; seen_ < lines_.size(); ++seen_)
        if (lines_[seen_].rfind(line, 0) == 0) return ++seen_, true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{from_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buf[512];
      const ssize_t n = read(from_, buf, sizeof buf);
      if (n <= 0) return false;
      partial_.append(buf, static_cast<size_t>(n));
      for (size_t nl; (nl = partial_.find('\n')) != std::string::npos;) {
        lines_.push_back(partial_.substr(0, nl));
        partial_.erase(0, nl + 1);
      }
    }
  }
  const std::vector<std::string>& Lines() const { return lines_; }
  void Send(const std::string& line) {
    const std::string l = line + "\n";
    (void)!write(to_, l.data(), l.size());
  }
  // The exit status, or -1 when the child has not ended within the time.
  int WaitExit(int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  bool exited_ = false;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t seen_ = 0;
};
