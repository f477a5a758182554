#include "VirtualServerMonitor.h"

void TVirtualServerMonitor::SetLossHandler(TServerLossHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

void TVirtualServerMonitor::Lose(const std::string& reason) {
  available_.store(false);
  TServerLossHandler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler = handler_;
  }
  if (handler) handler(reason);
}
