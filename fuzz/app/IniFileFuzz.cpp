// Fuzzes the settings file reader: every key read with every rule on arbitrary bytes, a write
// that must read back, and the written text that must read the same again.
//   build-fuzz/fuzz/tocsin_ini_fuzz -max_len=4096 -max_total_time=60
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Cp1252.h"
#include "IniFile.h"
#include "IniValues.h"
#include "TextMatch.h"

namespace {

constexpr const char* kKeys[] = {"AudioInputDeviceName",
                                 "AudioInputChannels",
                                 "AudioInputBufferSize",
                                 "AudioInputSampleRate",
                                 "AudioInputBits",
                                 "TocsinLeftThres",
                                 "TocsinRightThres",
                                 "TocsinStartMidiNote0",
                                 "MidiOutNote0",
                                 "AudioOutputTempDisabledDuration",
                                 "A",
                                 ""};

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TIniFile ini(bytes);
  for (const char* key : kKeys) {
    std::string text = ini.ReadString("Main", key, "Do3");
    Check(text.size() <= TIniFile::kMaxStringLength);
    std::string utf8 = Cp1252ToUtf8(text);
    Check(Utf8ToCp1252(utf8) == text);
    (void)FindListEntry({"Do3", "Ré3", utf8}, text);
    (void)ini.ReadInteger("Main", key, 1);
    (void)ini.ReadBool("main", key, true);
    (void)ini.ReadFloat("MAIN", key, -45, ",");
    (void)ini.ReadFloat("Main", key, -45, ".");
  }
  // The values themselves, as integers and floats.
  (void)ParseIniInteger(bytes);
  // Rounded to 15 digits, a value next to the largest double would overflow: keep clear of it.
  if (auto f = ParseIniFloat(bytes, ","); f && *f < 1e300 && *f > -1e300) {
    Check(ParseIniFloat(FormatIniFloat(*f, ","), ",").has_value());
  }

  ini.WriteString("Main", "Written", "Ré");
  ini.WriteFloat("Main", "Float", -45.5, ",");
  Check(ini.ReadString("Main", "Written", "") == "Ré");
  Check(ini.ReadFloat("Main", "Float", 0, ",") == -45.5);
  TIniFile again(ini.Text());
  Check(again.Text() == ini.Text());
  Check(again.ReadString("Main", "Written", "") == "Ré");
  return 0;
}
