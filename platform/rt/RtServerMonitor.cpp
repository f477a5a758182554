#include "RtServerMonitor.h"

#include <jack/jack.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>

namespace {
std::atomic<uint64_t> jack_server_losses{0};

// French, short: the status bar shows it.
const char kReason[] = "le serveur JACK s'est arr\xC3\xAAt\xC3\xA9";
// Probing a lost server: a refused open costs a few milliseconds.
constexpr int kProbeMs = 250;
}  // namespace

uint64_t JackServerLosses() {
  return jack_server_losses.load(std::memory_order_acquire);
}

TRtServerMonitor::TRtServerMonitor(std::string client_name) : name_(std::move(client_name)) {
  wake_fd_ = eventfd(0, EFD_CLOEXEC);
  watching_ = wake_fd_ >= 0 && Connect();
  if (watching_) thread_ = std::thread([this] { Run(); });
}

TRtServerMonitor::~TRtServerMonitor() {
  quit_.store(true, std::memory_order_release);
  if (wake_fd_ >= 0) {
    const uint64_t one = 1;
    (void)!write(wake_fd_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
  // A live server's client is closed; a dead one's was abandoned when it was lost.
  if (client_ && !lost_.load(std::memory_order_acquire) &&
      !flagged_.load(std::memory_order_acquire)) {
    jack_client_close(client_);
  }
  if (wake_fd_ >= 0) close(wake_fd_);
}

void TRtServerMonitor::SetLossHandler(TServerLossHandler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

bool TRtServerMonitor::ServerAvailable() {
  return !lost_.load(std::memory_order_acquire);
}

bool TRtServerMonitor::Connect() {
  flagged_.store(false, std::memory_order_release);
  jack_status_t status{};
  jack_client_t* client = jack_client_open(name_.c_str(), JackNoStartServer, &status);
  if (!client) return false;
  // JACK2 calls only the second when both are set; other servers may know only the first.
  jack_on_shutdown(client, &TRtServerMonitor::OnShutdown, this);
  jack_on_info_shutdown(
      client, [](jack_status_t, const char*, void* self) { OnShutdown(self); }, this);
  // Some servers tell only active clients that they go away.
  if (jack_activate(client) != 0) {
    jack_client_close(client);
    return false;
  }
  client_ = client;
  return true;
}

void TRtServerMonitor::OnShutdown(void* self) {
  static_cast<TRtServerMonitor*>(self)->Flag();
}

void TRtServerMonitor::Flag() {
  if (flagged_.exchange(true, std::memory_order_acq_rel)) return;
  // Counted at once: a client of the dead server must not be closed even before the report.
  jack_server_losses.fetch_add(1, std::memory_order_acq_rel);
  const uint64_t one = 1;
  (void)!write(wake_fd_, &one, sizeof one);
}

void TRtServerMonitor::Run() {
  while (!quit_.load(std::memory_order_acquire)) {
    pollfd p{wake_fd_, POLLIN, 0};
    const bool lost = lost_.load(std::memory_order_acquire);
    if (poll(&p, 1, lost ? kProbeMs : -1) > 0) {
      uint64_t count = 0;
      (void)!read(wake_fd_, &count, sizeof count);
    }
    if (quit_.load(std::memory_order_acquire)) break;
    if (!lost && flagged_.load(std::memory_order_acquire)) {
      // The dead server's client is abandoned, never closed: once any new client opens, JACK
      // frees it itself, and a close after that would free it a second time.
      client_ = nullptr;
      lost_.store(true, std::memory_order_release);
      // Called under the lock: whoever clears the handler knows no report is under way after.
      std::lock_guard lock(mutex_);
      if (handler_) handler_(kReason);
    } else if (lost && Connect()) {
      lost_.store(false, std::memory_order_release);
    }
  }
}
