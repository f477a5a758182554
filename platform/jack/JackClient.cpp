#include "JackClient.h"

#include <jack/midiport.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/RealtimeThread.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {
const char* const kPortNames[] = {"in_1", "in_2", "midi_out", "out_1", "out_2"};

// libjack prints through these, from any thread and after a server died; they must never block
// or take a lock, so they stay silent.
void Silent(const char*) {}

// Denormals make the filters and mixers crawl on silence decaying to zero.
void InitRealtimeThread(void*) {
#if defined(__SSE__)
  _mm_setcsr(_mm_getcsr() | 0x8040);  // flush to zero, denormals are zero
#endif
}

// The process thread's view of the cycle under way; other threads never see it set.
struct TCycleContext {
  const TJackClient* client = nullptr;
  jack_nframes_t first = 0, last = 0;
  uint32_t samples = 0;  // the block's length, 0 when unknown
  double step = 1.0;     // cycle frames per captured sample
};
thread_local TCycleContext t_cycle;

// A lost server is asked this often whether it answers again.
constexpr auto kProbeEvery = std::chrono::milliseconds(250);
// Port changes come in bursts (a client registers its ports one by one): told once the burst
// has been quiet this long.
constexpr auto kGraphQuiet = std::chrono::milliseconds(40);
}  // namespace

TJackServerKind JackServerKindOf(const char* version) {
  // PipeWire's libjack: "3.0.0.0 (using PipeWire 0.3.65)". JACK2: "1.9.21".
  TJackServerKind kind;
  if (!version) return kind;
  kind.DropsLeftBehind = std::strstr(version, "PipeWire") != nullptr;
  kind.LiveClock = kind.DropsLeftBehind || std::strncmp(version, "1.9.", 4) == 0;
  return kind;
}

TJackClient::TJackClient(std::string name) : wanted_name_(std::move(name)) {
  jack_set_error_function(&Silent);
  jack_set_info_function(&Silent);
  // libjack writes to its socket from whatever thread calls it; a dead server must not kill the
  // program with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  event_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  {
    std::lock_guard lock(control_mutex_);
    OpenLocked();
  }
  watcher_ = std::thread([this] { Watch(); });
}

TJackClient::~TJackClient() {
  quit_.store(true, std::memory_order_release);
  Wake();
  if (watcher_.joinable()) watcher_.join();
  {
    std::lock_guard lock(control_mutex_);
    if (lost_.load(std::memory_order_acquire))
      DropDeadLocked();
    else
      CloseLocked();
    CloseDeadLocked(true);
  }
  if (event_fd_ >= 0) close(event_fd_);
}

bool TJackClient::OpenLocked() {
  // JACK2 renames a client whose name is taken ("Tocsin-01"); PipeWire lets two clients share a
  // name, which makes "Tocsin:in_1" ambiguous, so we take the next free variant ourselves there.
  for (int n = 0; n < 100; ++n) {
    char suffix[8] = "";
    if (n > 0) std::snprintf(suffix, sizeof suffix, "-%02d", n);
    if (!OpenAsLocked(wanted_name_ + suffix)) return false;
    if (!NameSharedLocked()) return true;
    CloseLocked();
  }
  return false;
}

bool TJackClient::NameSharedLocked() {
  const std::string own = name_ + ":" + kPortNames[static_cast<int>(TJackPort::kMidiOut)];
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
  if (!ports) return false;
  int same = 0;
  for (const char** p = ports; *p; ++p) same += own == *p;
  jack_free(ports);
  return same > 1;
}

bool TJackClient::OpenAsLocked(const std::string& name) {
  jack_status_t status{};
  jack_client_t* c = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!c) return false;
  auto* opened = new TOpened;
  opened->Self = this;
  // Every callback before the ports and before activation: the server refuses changes later.
  jack_set_process_callback(c, &TJackClient::Process, opened);
  jack_set_thread_init_callback(c, &InitRealtimeThread, nullptr);
  jack_set_sample_rate_callback(c, &TJackClient::OnSampleRate, opened);
  jack_on_shutdown(c, &TJackClient::OnShutdown, opened);
  jack_on_info_shutdown(c, &TJackClient::OnInfoShutdown, opened);
  jack_set_port_registration_callback(c, &TJackClient::OnPortRegistration, opened);
  jack_set_port_connect_callback(c, &TJackClient::OnPortConnect, opened);
  jack_set_port_rename_callback(c, &TJackClient::OnPortRename, opened);
  jack_set_client_registration_callback(c, &TJackClient::OnClientRegistration, opened);
  jack_port_t* ports[static_cast<int>(TJackPort::kCount)] = {};
  bool ok = true;
  for (int i = 0; i < static_cast<int>(TJackPort::kCount); ++i) {
    const bool midi = i == static_cast<int>(TJackPort::kMidiOut);
    const bool input = i <= static_cast<int>(TJackPort::kIn2);
    ports[i] = jack_port_register(c, kPortNames[i],
                                  midi ? JACK_DEFAULT_MIDI_TYPE : JACK_DEFAULT_AUDIO_TYPE,
                                  input ? JackPortIsInput : JackPortIsOutput, 0);
    ok = ok && ports[i];
  }
  rate_.store(jack_get_sample_rate(c), std::memory_order_release);
  lost_.store(false, std::memory_order_release);
  reason_set_.store(false, std::memory_order_release);
  // No process thread runs for us before the activation below.
  have_previous_ = previous_late_ = previous_left_behind_ = false;
  client_ = c;
  rt_client_.store(c, std::memory_order_release);
  std::copy(std::begin(ports), std::end(ports), std::begin(ports_));
  if (!ok || jack_activate(c) != 0) {
    jack_client_close(c);
    delete opened;
    client_ = nullptr;
    std::fill(std::begin(ports_), std::end(ports_), nullptr);
    return false;
  }
  opened_ = opened;
  name_ = jack_get_client_name(c);
  pipewire_ = std::strstr(jack_get_version_string(), "PipeWire") != nullptr;
  const TJackServerKind kind = JackServerKindOf(jack_get_version_string());
  live_clock_.store(kind.LiveClock, std::memory_order_release);
  drops_left_behind_.store(kind.DropsLeftBehind, std::memory_order_release);
  had_client_ = true;
  generation_.fetch_add(1, std::memory_order_acq_rel);
  return true;
}

void TJackClient::CloseLocked() {
  if (!client_) return;
  jack_deactivate(client_);  // returns once the process thread has stopped
  jack_client_close(client_);
  delete opened_;  // no callback of the closed client comes any more
  opened_ = nullptr;
  client_ = nullptr;
  std::fill(std::begin(ports_), std::end(ports_), nullptr);
  name_.clear();
  for (auto& part : parts_) part.store(nullptr, std::memory_order_release);
}

void TJackClient::DropDeadLocked() {
  if (!client_) return;
  opened_->Stale.store(true, std::memory_order_seq_cst);
  if (pipewire_) {
    // PipeWire's libjack may still be handling the failure on the client's own thread, and
    // closing the client right then crashed inside it (seen in a core dump: its loop thread
    // dispatching a message for the client being torn down). Nothing frees the client behind
    // our back there: it is closed a moment later, before any new open (it may still hold our
    // name). Its calls meanwhile find it stale; a cycle of it under way ends first.
    WaitOutOfCycle();
    dead_.push_back({client_, opened_, std::chrono::steady_clock::now()});
  } else {
    // Closed once, before any new open: the next open would free the dead client behind our
    // back. No deactivate: that would wait for a server that is gone.
    jack_client_close(client_);
    delete opened_;
  }
  opened_ = nullptr;
  client_ = nullptr;
  std::fill(std::begin(ports_), std::end(ports_), nullptr);
  name_.clear();
  for (auto& part : parts_) part.store(nullptr, std::memory_order_release);
}

bool TJackClient::Ok() {
  std::lock_guard lock(control_mutex_);
  return client_ && !lost_.load(std::memory_order_acquire);
}

std::string TJackClient::ClientName() {
  std::lock_guard lock(control_mutex_);
  return client_ ? name_ : std::string();
}

bool TJackClient::Renamed() {
  std::lock_guard lock(control_mutex_);
  return client_ && name_ != wanted_name_;
}

uint32_t TJackClient::SampleRate() {
  return rate_.load(std::memory_order_acquire);
}

uint32_t TJackClient::BufferSize() {
  std::lock_guard lock(control_mutex_);
  if (!client_ || lost_.load(std::memory_order_acquire)) return 0;
  return jack_get_buffer_size(client_);
}

std::vector<std::string> TJackClient::Ports(const char* type, unsigned long flags) {
  std::lock_guard lock(control_mutex_);
  std::vector<std::string> names;
  if (!client_ || lost_.load(std::memory_order_acquire)) return names;
  const char** ports = jack_get_ports(client_, nullptr, type, flags);
  if (!ports) return names;
  const std::string own = name_ + ":";
  // Copied at once: the strings may point into the server's shared memory.
  for (const char** p = ports; *p; ++p)
    if (std::strncmp(*p, own.c_str(), own.size()) != 0) names.emplace_back(*p);
  jack_free(ports);
  return names;
}

std::string TJackClient::PortName(TJackPort port) {
  std::lock_guard lock(control_mutex_);
  if (!client_) return {};
  return name_ + ":" + kPortNames[static_cast<int>(port)];
}

bool TJackClient::Connect(const std::string& source, const std::string& destination) {
  std::lock_guard lock(control_mutex_);
  if (!client_ || lost_.load(std::memory_order_acquire)) return false;
  const int r = jack_connect(client_, source.c_str(), destination.c_str());
  return r == 0 || r == EEXIST;
}

void TJackClient::Disconnect(const std::string& source, const std::string& destination) {
  std::lock_guard lock(control_mutex_);
  if (!client_ || lost_.load(std::memory_order_acquire)) return;
  jack_disconnect(client_, source.c_str(), destination.c_str());
}

bool TJackClient::HasConnections(TJackPort port) {
  std::lock_guard lock(control_mutex_);
  if (!client_ || lost_.load(std::memory_order_acquire)) return false;
  return jack_port_connected(ports_[static_cast<int>(port)]) > 0;
}

void TJackClient::ConnectOutputsByDefault() {
  if (HasConnections(TJackPort::kOut1) || HasConnections(TJackPort::kOut2)) return;
  const auto playback = Ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical);
  if (playback.empty()) return;
  Connect(PortName(TJackPort::kOut1), playback[0]);
  Connect(PortName(TJackPort::kOut2), playback[std::min<size_t>(1, playback.size() - 1)]);
}

bool TJackClient::Attach(TJackPart place, IJackCyclePart* part) {
  std::lock_guard lock(control_mutex_);
  if (!client_ || lost_.load(std::memory_order_acquire)) return false;
  IJackCyclePart* expected = nullptr;
  return parts_[static_cast<int>(place)].compare_exchange_strong(expected, part,
                                                                 std::memory_order_seq_cst);
}

void TJackClient::Detach(TJackPart place, IJackCyclePart* part) {
  IJackCyclePart* expected = part;
  parts_[static_cast<int>(place)].compare_exchange_strong(expected, nullptr,
                                                          std::memory_order_seq_cst);
  WaitOutOfCycle();
}

void TJackClient::WaitOutOfCycle() {
  // A cycle that began before the part was removed may still be using it; one that begins
  // later sees it gone. The process callback never waits, so this is short; the deadline only
  // guards against a server that stopped calling us halfway.
  const uint64_t seen = cycles_.load(std::memory_order_seq_cst);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (in_cycle_.load(std::memory_order_seq_cst) &&
         cycles_.load(std::memory_order_seq_cst) == seen && std::chrono::steady_clock::now() < end)
    std::this_thread::yield();
}

TJackClient* TJackClient::Live(void* opened) {
  auto* o = static_cast<TOpened*>(opened);
  return o->Stale.load(std::memory_order_acquire) ? nullptr : o->Self;
}

int TJackClient::OnSampleRate(jack_nframes_t rate, void* opened) {
  if (TJackClient* self = Live(opened)) self->rate_.store(rate, std::memory_order_release);
  return 0;
}

int TJackClient::Process(jack_nframes_t frames, void* opened) {
  TJackClient* self = Live(opened);
  if (!self) return 0;  // a client left behind after its server was lost
  self->in_cycle_.store(true, std::memory_order_seq_cst);
  // Marked stale just now: DropDeadLocked either sees this cycle under way and waits for it, or
  // the cycle sees the mark here.
  if (static_cast<TOpened*>(opened)->Stale.load(std::memory_order_seq_cst)) {
    self->in_cycle_.store(false, std::memory_order_seq_cst);
    return 0;
  }
  jack_client_t* c = self->rt_client_.load(std::memory_order_acquire);
  TJackCycle cycle;
  cycle.Frames = frames;
  cycle.FirstFrame = jack_last_frame_time(c);
  cycle.SampleRate = self->rate_.load(std::memory_order_relaxed);
  if (self->have_previous_ && cycle.FirstFrame != self->next_first_) {
    cycle.AfterGap = true;
    self->gaps_.fetch_add(1, std::memory_order_relaxed);
    if (self->previous_late_) self->late_seen_.fetch_add(1, std::memory_order_relaxed);
    // On PipeWire a cycle that ended late loses its output even when the next one began only
    // just after it ended (the graph had gone on without it by then).
    const bool drops = self->drops_left_behind_.load(std::memory_order_relaxed);
    if (self->previous_left_behind_ || (drops && self->previous_late_)) {
      self->lost_cycles_.fetch_add(1, std::memory_order_relaxed);
      if (drops)
        cycle.PreviousLost = true;
      else
        cycle.PreviousMaybeLost = true;
    } else if (self->previous_late_ && !self->live_clock_.load(std::memory_order_relaxed)) {
      cycle.PreviousMaybeLost = true;
    }
  }
  self->next_first_ = cycle.FirstFrame + frames;
  self->have_previous_ = true;
  jack_nframes_t current_frames = 0;
  jack_time_t current_usecs = 0, next_usecs = 0;
  float period_usecs = 0;
  const bool timed =
      jack_get_cycle_times(c, &current_frames, &current_usecs, &next_usecs, &period_usecs) == 0;
  if (timed) cycle.StartUsecs = current_usecs;
  auto* const* ports = self->ports_;
  for (int i = 0; i < 2; ++i) {
    cycle.In[i] = static_cast<const float*>(jack_port_get_buffer(ports[i], frames));
    cycle.Out[i] = static_cast<float*>(
        jack_port_get_buffer(ports[static_cast<int>(TJackPort::kOut1) + i], frames));
    // The server hands our output to its readers as it is: what we leave there plays.
    if (cycle.Out[i]) std::fill(cycle.Out[i], cycle.Out[i] + frames, 0.0f);
  }
  cycle.MidiOut = jack_port_get_buffer(ports[static_cast<int>(TJackPort::kMidiOut)], frames);
  if (cycle.MidiOut) jack_midi_clear_buffer(cycle.MidiOut);
  t_cycle = {self, 0, frames ? frames - 1 : 0, 0, 1.0};
  const TRealtimeThreadMark realtime;
  for (auto& slot : self->parts_)
    if (IJackCyclePart* part = slot.load(std::memory_order_seq_cst)) part->Cycle(cycle);
  t_cycle.client = nullptr;
  self->previous_late_ = timed && jack_get_time() > next_usecs;
  // The server's frame clock has moved on while we were still here: it did not wait for us.
  self->previous_left_behind_ = jack_last_frame_time(c) != cycle.FirstFrame;
  self->cycles_.fetch_add(1, std::memory_order_seq_cst);
  self->in_cycle_.store(false, std::memory_order_seq_cst);
  return 0;  // anything else would end the process thread for good
}

void TJackClient::OnShutdown(void* opened) {
  if (TJackClient* self = Live(opened)) self->MarkLost(nullptr);
}

void TJackClient::OnInfoShutdown(jack_status_t, const char* reason, void* opened) {
  if (TJackClient* self = Live(opened)) self->MarkLost(reason);
}

// Runs on one of libjack's threads like a signal handler: no jack call, no lock, no allocation.
void TJackClient::MarkLost(const char* reason) {
  if (reason && !reason_set_.load(std::memory_order_acquire)) {
    std::strncpy(reason_, reason, sizeof reason_ - 1);
    reason_set_.store(true, std::memory_order_release);
  }
  if (lost_.exchange(true, std::memory_order_acq_rel)) return;
  losses_.fetch_add(1, std::memory_order_acq_rel);
  Wake();
}

void TJackClient::Wake() {
  const uint64_t one = 1;
  if (event_fd_ >= 0 && write(event_fd_, &one, sizeof one) < 0) {
    // The watcher polls its flags on its timeout as well.
  }
}

// JACK's notification thread: the server must not be called from here (JACK2 refuses it), so
// the watch thread does the rest.
void TJackClient::MarkGraphChanged() {
  if (!graph_changed_.exchange(true, std::memory_order_acq_rel)) Wake();
}

void TJackClient::OnPortRegistration(jack_port_id_t, int registered, void* opened) {
  TJackClient* self = Live(opened);
  if (!self) return;
  if (!registered) self->ports_gone_.fetch_add(1, std::memory_order_acq_rel);
  self->MarkGraphChanged();
}

void TJackClient::OnPortConnect(jack_port_id_t, jack_port_id_t, int, void* opened) {
  if (TJackClient* self = Live(opened)) self->MarkGraphChanged();
}

void TJackClient::OnPortRename(jack_port_id_t, const char*, const char*, void* opened) {
  if (TJackClient* self = Live(opened)) self->MarkGraphChanged();
}

void TJackClient::OnClientRegistration(const char*, int, void* opened) {
  if (TJackClient* self = Live(opened)) self->MarkGraphChanged();
}

bool TJackClient::CloseDeadLocked(bool all) {
  constexpr auto kSettle = std::chrono::milliseconds(200);
  for (auto it = dead_.begin(); it != dead_.end();) {
    const auto age = std::chrono::steady_clock::now() - it->Since;
    if (age < kSettle) {
      if (!all) {
        ++it;
        continue;
      }
      std::this_thread::sleep_for(kSettle - age);
    }
    jack_client_close(it->Client);
    delete it->Opened;  // no callback of the closed client comes any more
    it = dead_.erase(it);
  }
  return dead_.empty();
}

bool TJackClient::ProbeLocked() {
  if (lost_.load(std::memory_order_acquire)) DropDeadLocked();
  if (client_ || !CloseDeadLocked(false)) return false;
  return OpenLocked();
}

void TJackClient::Watch() {
  using Clock = std::chrono::steady_clock;
  uint64_t reported = 0;
  uint64_t told_generation = Generation();
  auto next_probe = Clock::now();
  bool graph_pending = false;  // changes seen, not told yet
  Clock::time_point graph_first{}, graph_last{};
  while (!quit_.load(std::memory_order_acquire)) {
    pollfd fd{event_fd_, POLLIN, 0};
    poll(&fd, 1, graph_pending ? 10 : 250);
    uint64_t count = 0;
    if (fd.revents & POLLIN) {
      if (read(event_fd_, &count, sizeof count) < 0) count = 0;
    }
    if (quit_.load(std::memory_order_acquire)) return;
    const uint64_t losses = losses_.load(std::memory_order_acquire);
    if (losses != reported) {
      reported = losses;
      {
        std::lock_guard lock(control_mutex_);
        if (lost_.load(std::memory_order_acquire)) DropDeadLocked();
      }
      std::string text = "Serveur JACK perdu";
      if (reason_set_.load(std::memory_order_acquire) && reason_[0])
        text += std::string(" (") + reason_ + ")";
      // Under the lock: once SetLossHandler has replaced it, the old handler is not running.
      std::lock_guard lock(handler_mutex_);
      if (handler_) handler_(text);
      next_probe = Clock::now() + kProbeEvery;
    }
    const auto now = Clock::now();
    // A server that answers again gets a new client at once, whether or not the program runs:
    // its lists, and a Start, find the server as it is.
    if (now >= next_probe) {
      next_probe = now + kProbeEvery;
      std::lock_guard lock(control_mutex_);
      if (had_client_ && (!client_ || lost_.load(std::memory_order_acquire)))
        ProbeLocked();
      else
        CloseDeadLocked(false);
    }
    const uint64_t generation = Generation();
    if (generation != told_generation) {
      // Opened here or by ServerAvailable: either way the server is back, with other ports.
      told_generation = generation;
      graph_changed_.store(false, std::memory_order_release);
      graph_pending = false;
      TellGraphChanged();
      TellChange(TServerChange::kBack);
      continue;
    }
    if (graph_changed_.exchange(false, std::memory_order_acq_rel)) {
      graph_last = now;
      if (!graph_pending) graph_first = now;
      graph_pending = true;
    }
    // Told once the burst is over, or a while after it began when changes keep coming.
    if (graph_pending &&
        (now - graph_last >= kGraphQuiet || now - graph_first >= 8 * kGraphQuiet)) {
      graph_pending = false;
      TellGraphChanged();
      TellChange(TServerChange::kPorts);
    }
  }
}

void TJackClient::TellGraphChanged() {
  std::lock_guard lock(listeners_mutex_);
  for (auto& [key, listener] : listeners_) listener();
}

void TJackClient::TellChange(TServerChange change) {
  // Under the lock, as the loss: a replaced handler is not running any more.
  std::lock_guard lock(handler_mutex_);
  if (change_handler_) change_handler_(change);
}

void TJackClient::SetLossHandler(TServerLossHandler handler) {
  std::lock_guard lock(handler_mutex_);
  handler_ = std::move(handler);
}

void TJackClient::SetChangeHandler(TServerChangeHandler handler) {
  std::lock_guard lock(handler_mutex_);
  change_handler_ = std::move(handler);
}

void TJackClient::AddGraphListener(const void* key, std::function<void()> listener) {
  std::lock_guard lock(listeners_mutex_);
  listeners_.emplace_back(key, std::move(listener));
}

void TJackClient::RemoveGraphListener(const void* key) {
  std::lock_guard lock(listeners_mutex_);
  listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                  [&](const auto& l) { return l.first == key; }),
                   listeners_.end());
}

bool TJackClient::ServerAvailable() {
  std::lock_guard lock(control_mutex_);
  if (client_ && !lost_.load(std::memory_order_acquire)) return true;
  return ProbeLocked();
}

void TJackClient::SetBlockFrames(jack_nframes_t first, jack_nframes_t last, uint32_t samples,
                                 double step) {
  t_cycle.first = first;
  t_cycle.last = std::max(first, last);
  t_cycle.samples = samples;
  t_cycle.step = step > 0 ? step : 1.0;
}
jack_nframes_t TJackClient::BlockSampleFrame(uint32_t index) {
  const TCycleContext& c = t_cycle;
  if (c.samples == 0) return c.first;
  if (index >= c.samples) return c.last;
  // Samples after this one, in cycle frames, rounded down: the frame found is never early.
  const double back = std::floor((c.samples - 1 - index) * c.step);
  if (back >= static_cast<double>(c.last - c.first)) return c.first;
  return c.last - static_cast<jack_nframes_t>(back);
}
bool TJackClient::InCycle() const {
  return t_cycle.client == this;
}
jack_nframes_t TJackClient::BlockFirstFrame() {
  return t_cycle.first;
}
jack_nframes_t TJackClient::BlockLastFrame() {
  return t_cycle.last;
}
