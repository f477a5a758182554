// In-process MIDI output ports for tests: ports are added by the test, record every byte sent
// with the time it arrived, and can be told to fail any call with a given code.
// Thread-safe: sends may come from any thread; tests read the records from theirs.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MidiOutService.h"

enum class TMidiOutCall { GetDevCaps, Open, Close, ShortMsg, PrepareHeader, LongMsg, UnprepareHeader };

class TVirtualMidiOutService final : public IMidiOutService {
 public:
  struct TSent {
    std::vector<uint8_t> Bytes;
    std::chrono::steady_clock::time_point Time;
    bool Long = false;
    // Sent with ShortMsgAt: the frame it named.
    bool Timed = false;
    uint64_t Frame = 0;
  };

  // Adds a port and returns its number. The product name is kept as given.
  int32_t AddPort(const std::string& name);
  int32_t AddPort(const TMidiOutCaps& caps);
  // A port changes its name, as when a device is replaced under the same number.
  void RenamePort(int32_t device, const std::string& name);
  // The mapper (port -1); present by default, named "Tocsin".
  void SetMapper(bool present);
  // Every later call of that kind returns code (kMidiOk to stop failing).
  void FailCall(TMidiOutCall call, TMidiResult code);
  // Held long messages wait for CompleteLongMessages (which any thread may call); otherwise the
  // done notice is given before LongMsg returns.
  void SetHoldLongMessages(bool hold);
  size_t CompleteLongMessages();

  std::vector<TSent> Sent(int32_t device) const;
  std::vector<uint8_t> Bytes(int32_t device) const;  // all bytes sent to the port, in order
  bool IsOpen(int32_t device) const;
  void* LastOpenContext() const;
  int CallCount(TMidiOutCall call) const;
  std::vector<uint32_t> Notices() const;  // every notice given to a callback, in order
  // The bytes of each long message, read from its buffer when its done notice was given.
  std::vector<std::vector<uint8_t>> CompletedLong() const;

  uint32_t GetNumDevs() override;
  TMidiResult GetDevCaps(int32_t device, TMidiOutCaps& caps) override;
  TMidiResult Open(TMidiOutHandle& handle, int32_t device, TMidiOutCallback callback,
                   void* context) override;
  TMidiResult Close(TMidiOutHandle handle) override;
  TMidiResult ShortMsg(TMidiOutHandle handle, uint32_t message) override;
  TMidiResult ShortMsgAt(TMidiOutHandle handle, uint32_t message, uint64_t frame) override;
  TMidiResult PrepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult LongMsg(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult UnprepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult GetErrorText(TMidiResult code, std::string& text) override;

 private:
  struct TOpenPort {
    int32_t Device;
    TMidiOutCallback Callback;
    void* Context;
  };
  struct TPending {
    TMidiOutHandle Handle;
    TMidiOutHeader* Header;
  };
  TMidiResult Failing(TMidiOutCall call);  // mutex held
  TMidiResult Short(TMidiOutHandle handle, uint32_t message, bool timed, uint64_t frame);
  const TOpenPort* Find(TMidiOutHandle handle) const;  // mutex held
  void Notify(std::unique_lock<std::mutex>& lock, const TOpenPort& port, TMidiOutHandle handle,
              uint32_t notice, uintptr_t param1);

  mutable std::mutex mutex_;
  std::vector<TMidiOutCaps> ports_;
  bool mapper_ = true;
  std::map<TMidiOutCall, TMidiResult> failing_;
  std::map<TMidiOutCall, int> calls_;
  std::map<TMidiOutHandle, TOpenPort> open_;
  std::map<int32_t, std::vector<TSent>> sent_;
  std::deque<TPending> pending_;
  std::vector<uint32_t> notices_;
  std::vector<std::vector<uint8_t>> completed_;
  bool hold_long_ = false;
  TMidiOutHandle next_handle_ = 0x100;
  void* last_context_ = nullptr;
};
