// The NSM client against a protocol-conformant test server: the announce and its answer, the
// session's open, save, show and hide answered from the announcing socket, and a manager that
// refuses, talks nonsense, sends a second open or is not there at all: logged, never a hang.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "NsmClient.h"
#include "NsmTestServer.h"

using namespace std::chrono_literals;

namespace {
class NsmClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Ok()); }

  // Announces and waits for the open the server sends right after its answer.
  std::optional<TNsmOpen> Join(const std::string& path = "/sessions/song/Tocsin.nTEST") {
    server.open_path = path;
    EXPECT_TRUE(client.Announce(server.Url(), "Tocsin", ":optional-gui:", "/usr/bin/tocsin",
                                static_cast<int>(getpid())));
    EXPECT_TRUE(server.WaitFor([&] { return server.Count("/nsm/server/announce") == 1; }, 10s));
    return client.WaitForOpen(10s, 10s);
  }
  // Lets the client take what the server sent, and the server what the client answered.
  bool Exchange(const std::function<bool()>& until) {
    return server.WaitFor(until, 10s, [&] { client.Poll(); });
  }
  bool Logged(const std::string& part) const {
    for (const auto& line : log)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  std::unique_ptr<TNsmTestServer> owned_ = std::make_unique<TNsmTestServer>();
  TNsmTestServer& server = *owned_;  // unused once a test lets the manager vanish
  std::vector<std::string> log;
  TNsmClient client{[this](const std::string& line) { log.push_back(line); }};
};
}  // namespace

TEST_F(NsmClientTest, AnnouncesTakesTheOpenAndAnswersFromTheSameSocket) {
  const std::optional<TNsmOpen> open = Join();
  ASSERT_TRUE(open);
  EXPECT_EQ(open->Path, "/sessions/song/Tocsin.nTEST");
  EXPECT_EQ(open->DisplayName, "Tocsin");
  EXPECT_EQ(open->ClientId, "Tocsin.nTEST");
  EXPECT_TRUE(client.Acknowledged());
  EXPECT_EQ(client.ManagerName(), "Test Session Manager");

  const auto announce = server.Last("/nsm/server/announce");
  ASSERT_TRUE(announce);
  EXPECT_EQ(announce->Types, "sssiii");
  EXPECT_EQ(announce->Strings,
            (std::vector<std::string>{"Tocsin", ":optional-gui:", "/usr/bin/tocsin"}));
  EXPECT_EQ(announce->Ints, (std::vector<int>{1, 1, static_cast<int>(getpid())}));

  client.ReplyOpen("ready");
  client.GuiIsShown(true);
  client.GuiIsShown(false);
  ASSERT_TRUE(Exchange([&] { return server.Count("/nsm/client/gui_is_hidden") == 1; }));
  EXPECT_EQ(server.AnswerTo("/nsm/client/open"), "reply");
  EXPECT_EQ(server.Count("/nsm/client/gui_is_shown"), 1u);
}

TEST_F(NsmClientTest, SaveShowAndHideReachTheProgramAndSaveIsAnswered) {
  ASSERT_TRUE(Join());
  client.ReplyOpen("ready");
  std::string save_result;
  int saves = 0;
  std::vector<bool> shown;
  client.OnSave = [&] {
    ++saves;
    return save_result;
  };
  client.OnShowGui = [&](bool show) { shown.push_back(show); };

  server.Save();
  ASSERT_TRUE(Exchange([&] { return server.AnswerTo("/nsm/client/save").has_value(); }));
  EXPECT_EQ(server.AnswerTo("/nsm/client/save"), "reply");
  save_result = "Impossible d'écrire dans /x.ini";
  server.Save();
  ASSERT_TRUE(Exchange([&] { return server.Count("/error") == 1; }));
  EXPECT_EQ(server.AnswerTo("/nsm/client/save"), "error -1");
  EXPECT_EQ(server.Last("/error")->Strings.back(), save_result) << "the manager can show why";
  EXPECT_EQ(saves, 2);

  server.ShowGui(true);
  server.ShowGui(false);
  ASSERT_TRUE(Exchange([&] { return shown.size() == 2; }));
  EXPECT_EQ(shown, (std::vector<bool>{true, false}));
}

TEST_F(NsmClientTest, NonsenseAndOrdersOutOfTurnAreRefusedOrLoggedAndTheClientGoesOn) {
  ASSERT_TRUE(Join());
  // An order that comes before the open was answered is refused, not carried out.
  int saves = 0;
  client.OnSave = [&] { return ++saves, std::string(); };
  server.Save();
  ASSERT_TRUE(Exchange([&] { return server.AnswerTo("/nsm/client/save").has_value(); }));
  EXPECT_EQ(server.AnswerTo("/nsm/client/save"), "error -8");
  EXPECT_EQ(saves, 0);

  client.ReplyOpen("ready");
  server.Send("/nsm/client/rename", {"x"});
  server.Send("/nsm/client/open", {"only one string"});
  server.Send("/nsm/client/open", {"/other/path", "Tocsin", "Tocsin.nOTHER"});
  server.Send("/nsm/client/session_is_loaded", {});
  server.Save();
  ASSERT_TRUE(Exchange([&] { return saves == 1 && server.Count("/error") == 3; }));
  EXPECT_TRUE(Logged("unknown message /nsm/client/rename"));
  EXPECT_TRUE(Logged("open with bad arguments"));
  EXPECT_TRUE(Logged("second open"));
  EXPECT_EQ(server.AnswerTo("/nsm/client/open"), "error -8") << "no switch capability";
  EXPECT_EQ(server.AnswerTo("/nsm/client/save"), "reply") << "still serving the session";
}

TEST_F(NsmClientTest, ARefusedAnnounceOrNoManagerMeansNoSessionSoon) {
  server.refuse_announce = true;
  server.open_path = "/never";
  ASSERT_TRUE(client.Announce(server.Url(), "Tocsin", ":optional-gui:", "tocsin", 1));
  ASSERT_TRUE(server.WaitFor([&] { return server.Count("/nsm/server/announce") == 1; }, 10s));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.WaitForOpen(60s, 60s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "a refusal ends the wait";
  EXPECT_TRUE(Logged("refused the announce"));

  // Nobody listens at the address: the answer's short wait decides.
  std::string url;
  {
    TNsmTestServer gone;
    url = gone.Url();
  }
  std::vector<std::string> lonely_log;
  TNsmClient lonely([&](const std::string& line) { lonely_log.push_back(line); });
  ASSERT_TRUE(lonely.Announce(url, "Tocsin", ":optional-gui:", "tocsin", 1));
  EXPECT_FALSE(lonely.WaitForOpen(300ms, 60s));
  lonely.GuiIsShown(true);  // to nobody: no error, no wait
  lonely.Poll();
  ASSERT_FALSE(lonely_log.empty());
  EXPECT_NE(lonely_log.back().find("no session manager answered"), std::string::npos);

  TNsmClient wrong([&](const std::string& line) { lonely_log.push_back(line); });
  EXPECT_FALSE(wrong.Announce("not a url", "Tocsin", "", "tocsin", 1));
  EXPECT_EQ(wrong.SocketFd(), -1);
  wrong.Poll();
  wrong.GuiIsShown(false);
}

TEST_F(NsmClientTest, AManagerThatVanishesLeavesTheClientWorking) {
  ASSERT_TRUE(Join());
  client.ReplyOpen("ready");
  int saves = 0;
  client.OnSave = [&] { return ++saves, std::string(); };
  owned_.reset();  // the manager's process ends
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) {
    client.GuiIsShown(i % 2 == 0);
    client.Poll(1);
  }
  EXPECT_EQ(saves, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "nothing waits for the manager";
}
