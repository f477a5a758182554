// TMidiOutput: one MIDI output port of the platform. Lists the ports, selects one by number or by
// product name, opens and closes it, sends short messages (synchronously) and long messages
// (asynchronously, with Onmidioutput once sent). Every refused platform call raises
// EmidioutputError with the service's own text.
// Threads: everything runs on the main thread except SendShortMessage, which the trigger calls
// on the capture thread while the port is open; long-message completions are handed to the main
// thread through IMainThreadDispatcher.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "midi/MidiOutError.h"
#include "platform/MainThreadDispatcher.h"
#include "platform/MidiOutService.h"

struct TMidiOutEvent {
  uint8_t MidiMessage = 0;  // status
  uint8_t Data1 = 0;
  uint8_t Data2 = 0;
  uint16_t SysexLength = 0;
  const uint8_t* Sysex = nullptr;  // null for a short message
};

class TMidiMessageWindow;
class TMyMidiHdr;

// Given to the service at Open and passed back to the completion callback. Kept over Close/Open
// pairs, replaced after a failed Open.
struct TMidiCallbackContext {
  uint64_t MemoryHandle = 0;  // the block's own handle: a number unique to each allocation
  void* InputQueue = nullptr;  // input ports only: always null here
  TMidiMessageWindow* Window = nullptr;  // where completions are handed to the main thread
  uint32_t InputFilter = 0;  // input ports only
};

class TMidiOutput {
 public:
  using TNotifyEvent = std::function<void(TMidiOutput* Sender)>;

  static constexpr uint8_t kStateOpen = 0;
  static constexpr uint8_t kStateClosed = 1;

  // Counts the ports once; nothing is selected until DeviceID or ProductName is set.
  TMidiOutput(IMidiOutService& service, IMainThreadDispatcher& dispatcher);
  // Closes an open port first.
  virtual ~TMidiOutput();
  TMidiOutput(const TMidiOutput&) = delete;
  TMidiOutput& operator=(const TMidiOutput&) = delete;

  virtual bool Open();
  // False (and no error) when the port was not open.
  virtual bool Close();
  virtual void SendEvent(const TMidiOutEvent& Event);
  // Capture thread: packs and sends, no allocation, no state check.
  virtual void SendShortMessage(uint8_t MidiMessage, uint8_t Data1, uint8_t Data2);
  // The same for a thread that must not throw (an audio server's cycle): the service's result,
  // kept in LastError too; a refusal raises nothing and builds no text.
  TMidiResult TrySendShortMessage(uint8_t MidiMessage, uint8_t Data1, uint8_t Data2) noexcept;
  // The capture tap's send: the same message, caused at `frame` of the capture (the service puts
  // it there when it can). Returns the service's result instead of raising: it runs inside an
  // audio server's cycle, where nothing may throw or build an error text.
  TMidiResult SendShortMessageAt(uint8_t MidiMessage, uint8_t Data1, uint8_t Data2,
                                 uint64_t frame) noexcept;
  // Copies the bytes; they stay alive until the service reports them sent.
  virtual void SendLongMessage(const uint8_t* Data, uint16_t Length);

  int32_t DeviceID() const { return device_id_; }
  void SetDeviceID(int32_t value);
  const std::string& ProductName() const { return caps_.ProductName; }
  void SetProductName(const std::string& name);

  uint16_t DeviceCount() const { return device_count_; }
  uint8_t State() const { return state_.load(std::memory_order_acquire); }
  uint16_t LastError() const { return last_error_.load(std::memory_order_relaxed); }
  uint32_t DriverVersion() const { return caps_.DriverVersion; }
  uint8_t Technology() const { return static_cast<uint8_t>(caps_.Technology); }
  uint16_t Voices() const { return caps_.Voices; }
  uint16_t Notes() const { return caps_.Notes; }
  uint16_t ChannelMask() const { return caps_.ChannelMask; }
  uint32_t Support() const { return caps_.Support; }
  const TMidiCallbackContext* CallbackContext() const { return context_; }

  // Main thread, after a long message has been sent and its buffer released.
  TNotifyEvent Onmidioutput;

 private:
  friend class TMidiMessageWindow;
  static void Callback(TMidiOutHandle handle, uint32_t notice, void* context, uintptr_t param1,
                       uintptr_t param2);
  [[noreturn]] void Raise(TMidiResult code);
  void FreeContext();
  void LongMessageDone(std::shared_ptr<TMyMidiHdr> hdr);

  IMidiOutService& service_;
  std::shared_ptr<TMidiMessageWindow> window_;
  int32_t device_id_ = 0;
  std::atomic<TMidiOutHandle> handle_{0};
  std::atomic<uint8_t> state_{kStateClosed};
  TMidiCallbackContext* context_ = nullptr;
  std::atomic<uint16_t> last_error_{0};
  TMidiOutCaps caps_;
  uint16_t device_count_ = 0;
};
