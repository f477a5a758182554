// One QApplication for a whole test executable (offscreen, set by the shared test main), and a
// pump that processes window messages until a condition holds.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <thread>

class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!QApplication::instance()) app_ = new QApplication(argc_, argv_);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  int argc_ = 1;
  char name_[16] = "tocsin_tests";
  char* argv_[2] = {name_, nullptr};
  QApplication* app_ = nullptr;
};

// Processes window messages until pred() holds or timeout passes; returns pred().
inline bool PumpUntil(const std::function<bool()>& pred,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    QCoreApplication::processEvents();
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Registered once per executable, whichever test files include this header.
inline ::testing::Environment* const kQtTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);
