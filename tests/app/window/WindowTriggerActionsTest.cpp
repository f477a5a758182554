// The window's side of detection on a plain loop dispatcher: indicator changes wait for the UI
// thread and land there in the order the capture thread made them.
#include <QLabel>
#include <QMainWindow>
#include <chrono>
#include <thread>

#include "IniValues.h"
#include "LevelBarAdapter.h"
#include "MainWindowDesign.h"
#include "QtTestApp.h"
#include "WindowMidiViews.h"
#include "WindowTriggerActions.h"
#include "platform/RealtimeThread.h"
#include "platform/virtual/LoopDispatcher.h"
#include "uVumeter.h"

namespace {
struct Panel {
  QMainWindow window;
  TMainWindowDesign d;
  TLoopDispatcher ui;
  Panel() { BuildMainWindowDesign(window, d); }
};
}  // namespace

TEST(WindowTriggerActions, ChangesWaitForTheUiThreadAndKeepTheirOrder) {
  Panel p;
  TWindowTriggerActions actions(p.ui, p.d);
  std::thread capture([&] {
    actions.SetThresholdLight(0, true);
    actions.SetClipVisible(true);
    actions.SetThresholdLight(0, false);
    actions.SetThresholdLight(1, true);
    actions.ShowVelocity(1, 12);
    actions.ShowVelocity(1, 99);
    actions.SetClipVisible(false);
    actions.SetThresholdLight(0, true);
  });
  capture.join();
  EXPECT_FALSE(p.d.ledLeftThres->Lit());
  EXPECT_EQ(p.d.lblMidiOutLastVel[1]->text(), "0");
  p.ui.ProcessPending();
  EXPECT_TRUE(p.d.ledLeftThres->Lit()) << "the last change wins";
  EXPECT_TRUE(p.d.ledRightThres->Lit());
  EXPECT_TRUE(p.d.lblClip->isHidden());
  EXPECT_EQ(p.d.lblMidiOutLastVel[1]->text(), "99");
}

// Inside the audio server's cycle nothing is posted from the capture side: the changes queue,
// one wake-up brings them to the UI thread, and what did not fit still shows its newest state.
TEST(WindowTriggerActions, InsideTheCycleChangesQueueAndTheNewestWinsWhenFull) {
  Panel p;
  TWindowTriggerActions actions(p.ui, p.d);
  std::thread cycle([&] {
    const TRealtimeThreadMark realtime;
    actions.SetThresholdLight(0, true);
    for (int v = 1; v <= 1000; ++v) actions.ShowVelocity(1, v);  // far more than fit
    actions.SetClipVisible(true);
  });
  cycle.join();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (p.ui.PendingCount() == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(p.ui.PendingCount(), 1u) << "one wake-up for the whole batch";
  EXPECT_FALSE(p.d.ledLeftThres->Lit());
  p.ui.ProcessPending();
  EXPECT_TRUE(p.d.ledLeftThres->Lit());
  EXPECT_EQ(p.d.lblMidiOutLastVel[1]->text(), "1000");
  EXPECT_FALSE(p.d.lblClip->isHidden());
}

// The MIDI activity light from inside the cycle: one wake-up, the newest state shown.
TEST(WindowTriggerActions, MidiActivityFromTheCycleShowsItsNewestState) {
  Panel p;
  QTimer timer;
  timer.setInterval(100);
  TWindowMidiViews views(p.ui, *p.d.LedMidiOutData, *p.d.LedMidiOutState, timer);
  std::thread cycle([&] {
    const TRealtimeThreadMark realtime;
    views.SetMidiDataLight(true);
    views.SetMidiTimerEnabled(true);
    views.SetMidiDataLight(false);
    views.SetMidiDataLight(true);
  });
  cycle.join();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (p.ui.PendingCount() == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(p.ui.PendingCount(), 1u);
  p.ui.ProcessPending();
  EXPECT_TRUE(p.d.LedMidiOutData->Lit());
  EXPECT_TRUE(timer.isActive());
}

TEST(WindowTriggerActions, UnchangedLightsAndClipAreNotPostedAgain) {
  Panel p;
  TWindowTriggerActions actions(p.ui, p.d);
  for (int block = 0; block < 100; ++block) {
    actions.SetClipVisible(false);
    actions.SetThresholdLight(0, true);
    actions.SetThresholdLight(1, false);
  }
  EXPECT_EQ(p.ui.PendingCount(), 3u);
  p.ui.ProcessPending();
  EXPECT_TRUE(p.d.ledLeftThres->Lit());
}

TEST(WindowTriggerActions, LevelRefreshMovesBothBarsAndReadouts) {
  Panel p;
  TWindowTriggerActions actions(p.ui, p.d);
  TLevelBarAdapter left(*p.d.VuAudioLeft), right(*p.d.VuAudioRight);
  Vumeters.Left.LevelBar = &left;
  Vumeters.Right.LevelBar = &right;
  actions.RefreshLevels(-12.7, -90.30873);
  p.ui.ProcessPending();
  EXPECT_EQ(p.d.VuAudioLeft->Position(), -12);  // truncated toward zero
  EXPECT_EQ(p.d.VuAudioRight->Position(), -90);
  const QString point = QString::fromStdString(UserDecimalSeparator());
  EXPECT_EQ(p.d.lblLeftLevelInDb->text(), "-12" + point + "70");
  EXPECT_EQ(p.d.lblRightLevelInDb->text(), "-90" + point + "31");
  Vumeters.Left.LevelBar = nullptr;
  Vumeters.Right.LevelBar = nullptr;
}
