// Entry point of every test executable: Qt widgets render offscreen, and JACK clients opened by
// the tests (directly or through RtAudio/RtMidi) reach the private test server, never a user's.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("JACK_DEFAULT_SERVER", TOCSIN_TEST_JACK_SERVER, 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
