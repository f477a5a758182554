#include "VirtualServerMonitor.h"

void TVirtualServerMonitor::SetLossHandler(TServerLossHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

void TVirtualServerMonitor::SetChangeHandler(TServerChangeHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  change_handler_ = std::move(handler);
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

void TVirtualServerMonitor::Change(TServerChange change) {
  if (change == TServerChange::kBack) available_.store(true);
  TServerChangeHandler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler = change_handler_;
  }
  if (handler) handler(change);
}
