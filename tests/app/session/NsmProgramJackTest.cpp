// The tocsin program under the tests' NSM server, on the private JACK server: announced, opened
// with the session's client id as its JACK client and the session's file, shown and hidden on
// the manager's orders, saved on its save, ended by SIGTERM without writing anything, and
// restored from the saved file by a second run. Bad paths and a manager that vanishes leave a
// program that still ends when told.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "JackTestClient.h"
#include "NsmTestServer.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {
std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// One run of the program with NSM_URL set, its standard error kept in a file. Started with
// posix_spawn: this test process has JACK's threads, and a forked copy of it may only exec.
class TProgram {
 public:
  TProgram(const std::string& nsm_url, const fs::path& home, const fs::path& log) {
    std::vector<std::string> env;
    const std::vector<std::string> ours = {
        "NSM_URL=", "QT_QPA_PLATFORM=", "HOME=", "XDG_CONFIG_HOME=", "LSAN_OPTIONS="};
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (std::none_of(ours.begin(), ours.end(),
                       [&](const std::string& o) { return entry.rfind(o, 0) == 0; })) {
        env.push_back(entry);
      }
    }
    env.push_back("NSM_URL=" + nsm_url);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("HOME=" + home.string());
    env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
    // A sanitizer build's program: the font library's caches are not ours.
    env.push_back(std::string("LSAN_OPTIONS=suppressions=") + TOCSIN_PROGRAM_LSAN_SUPPRESSIONS);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* argv[] = {const_cast<char*>(TOCSIN_PROGRAM), nullptr};
    if (posix_spawn(&pid_, TOCSIN_PROGRAM, &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~TProgram() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // SIGTERM, as the manager ends its clients; the exit status, or -1 when it did not end.
  int Terminate(std::chrono::seconds within = 30s) {
    kill(pid_, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + within;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        done_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool done_ = false;
};

class NsmProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Ok());
    ASSERT_TRUE(probe.Ok()) << "the private JACK server is not running";
    char pattern[] = "/tmp/tocsin-nsm-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    fs::create_directories(dir / "session");
  }
  void TearDown() override { fs::remove_all(dir); }

  bool HasJackClient(const std::string& name) {
    return jack_port_by_name(probe.Handle(), (name + ":midi_out").c_str()) != nullptr;
  }
  // The manager's view of the program's answer to an order, waited for.
  bool Answered(const std::string& to, size_t count) {
    return server.WaitFor(
        [&] {
          size_t n = 0;
          for (const auto& m : server.Received())
            n += (m.Path == "/reply" || m.Path == "/error") && !m.Strings.empty() &&
                 m.Strings[0] == to;
          return n >= count;
        },
        60s);
  }
  std::string Log() const { return Read(dir / "stderr.log"); }

  std::unique_ptr<TNsmTestServer> owned = std::make_unique<TNsmTestServer>();
  TNsmTestServer& server = *owned;  // unused once a test lets the manager vanish
  JackTestClient probe{"nsm-probe"};
  fs::path dir;
};
}  // namespace

TEST_F(NsmProgram, ASessionOpensSavesEndsAndRestoresTocsin) {
  const fs::path instance = dir / "session/Tocsin.nWXYZ";
  const fs::path file = instance.string() + ".ini";
  server.open_path = instance.string();
  server.open_client_id = "Tocsin.nWXYZ";
  {
    TProgram tocsin(server.Url(), dir, dir / "stderr.log");
    ASSERT_TRUE(Answered("/nsm/client/open", 1)) << Log();
    EXPECT_EQ(server.AnswerTo("/nsm/client/open"), "reply") << Log();
    const auto announce = server.Last("/nsm/server/announce");
    ASSERT_TRUE(announce);
    EXPECT_EQ(announce->Strings[0], "Tocsin");
    EXPECT_NE(announce->Strings[1].find(":optional-gui:"), std::string::npos);
    EXPECT_EQ(announce->Ints[2], tocsin.Pid());
    EXPECT_TRUE(HasJackClient("Tocsin.nWXYZ")) << "the session's id names the JACK client";
    EXPECT_GE(server.Count("/nsm/client/gui_is_hidden"), 1u) << "a first load starts hidden";

    server.ShowGui(true);
    ASSERT_TRUE(server.WaitFor([&] { return server.Count("/nsm/client/gui_is_shown") == 1; }, 30s))
        << Log();
    server.Save();
    ASSERT_TRUE(Answered("/nsm/client/save", 1)) << Log();
    EXPECT_EQ(server.AnswerTo("/nsm/client/save"), "reply");
    const std::string saved = Read(file);
    EXPECT_NE(saved.find("[Main]\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("MidiOutChannel=1\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[Session]\nGuiVisible=1\nRunning=0\n"), std::string::npos) << saved;

    // The user's changes to the session's file (or a restored session's own) are what the
    // next run must show.
    std::string changed = saved;
    changed.replace(changed.find("MidiOutChannel=1"), 16, "MidiOutChannel=10");
    // As if saved while triggering ran: the next run starts again, connections and all.
    changed.replace(changed.find("Running=0"), 9, "Running=1");
    std::ofstream(file, std::ios::trunc) << changed;
    EXPECT_EQ(tocsin.Terminate(), 0) << Log();
    EXPECT_EQ(Read(file), changed) << "SIGTERM ends the program without a save";
  }
  EXPECT_FALSE(fs::exists(dir / "config/tocsin/tocsin.ini")) << "nothing in the user's folder";
  EXPECT_FALSE(HasJackClient("Tocsin.nWXYZ"));

  const size_t shown_before = server.Count("/nsm/client/gui_is_shown");
  TProgram again(server.Url(), dir, dir / "stderr.log");
  ASSERT_TRUE(Answered("/nsm/client/open", 2)) << Log();
  EXPECT_TRUE(
      server.WaitFor([&] { return server.Count("/nsm/client/gui_is_shown") > shown_before; }, 30s))
      << "saved as shown, it comes back shown";
  EXPECT_TRUE(HasJackClient("Tocsin.nWXYZ"));
  EXPECT_TRUE(server.WaitFor(
      [&] {
        jack_port_t* in = jack_port_by_name(probe.Handle(), "Tocsin.nWXYZ:in_1");
        return in && jack_port_connected(in) > 0;
      },
      30s))
      << "triggering started again, its input connected\n"
      << Log();
  server.Save();
  ASSERT_TRUE(Answered("/nsm/client/save", 2)) << Log();
  EXPECT_NE(Read(file).find("MidiOutChannel=10\n"), std::string::npos)
      << "the second run read the session's settings and saved them back";
  EXPECT_NE(Read(file).find("Running=1\n"), std::string::npos);
  EXPECT_EQ(again.Terminate(), 0) << Log();
}

TEST_F(NsmProgram, ABadPathOrAVanishedManagerLeavesAProgramThatStillEnds) {
  server.open_path = "relative/Tocsin.nBAD";
  {
    TProgram tocsin(server.Url(), dir, dir / "stderr.log");
    ASSERT_TRUE(Answered("/nsm/client/open", 1)) << Log();
    EXPECT_EQ(server.AnswerTo("/nsm/client/open"), "error -10") << Log();
    EXPECT_NE(Log().find("not an absolute path"), std::string::npos) << Log();
    // Without a session it runs as it would on its own (the user may still quit it).
    EXPECT_TRUE(server.WaitFor([&] { return HasJackClient("Tocsin"); }, 30s)) << Log();
    EXPECT_EQ(tocsin.Terminate(), 128 + SIGTERM) << "on its own, SIGTERM is the system's default";
  }

  server.open_path = (dir / "session/Tocsin.nGONE").string();
  TProgram tocsin(server.Url(), dir, dir / "stderr.log");
  ASSERT_TRUE(Answered("/nsm/client/open", 2)) << Log();
  EXPECT_EQ(server.AnswerTo("/nsm/client/open"), "reply") << Log();
  owned.reset();  // the manager's process ends without a word
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(kill(tocsin.Pid(), 0), 0) << "still running";
  EXPECT_EQ(tocsin.Terminate(), 0) << Log();
}
