#include "RealtimeRelay.h"

TRealtimeRelay::TRealtimeRelay(IMainThreadDispatcher& ui, std::function<void()> on_main)
    : ui_(ui), state_(std::make_shared<TState>()) {
  state_->on_main = std::move(on_main);
  thread_ = std::thread([this] { Run(); });
}

TRealtimeRelay::~TRealtimeRelay() {
  quitting_.store(true, std::memory_order_release);
  wake_.release();
  thread_.join();
}

void TRealtimeRelay::Wake() {
  if (!state_->woken.exchange(true, std::memory_order_acq_rel)) wake_.release();
}

void TRealtimeRelay::Run() {
  for (;;) {
    wake_.acquire();
    if (quitting_.load(std::memory_order_acquire)) return;
    std::weak_ptr<TState> weak = state_;
    ui_.Post([weak] {
      if (auto state = weak.lock()) {
        state->woken.store(false, std::memory_order_release);  // a wake from now on asks again
        state->on_main();
      }
    });
  }
}
