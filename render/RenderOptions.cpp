#include "RenderOptions.h"

#include <charconv>

#include "RenderError.h"
#include "Settings.h"

namespace {
[[noreturn]] void Bad(const std::string& message) {
  throw ERenderError(kExitBadArguments, message);
}

int WholeNumber(const std::string& option, const std::string& text, int lo, int hi,
                const char* what) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < lo || value > hi) {
    Bad(option + " " + text + ": " + what);
  }
  return value;
}

// Seconds into the take: a plain decimal number, 0 or more.
double Seconds(const std::string& option, const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !(value >= 0) || value > 1e9) {
    Bad(option + " " + text + ": seconds from the take's start, for example 1.5");
  }
  return value;
}
}  // namespace

std::string RenderUsage() {
  return "Usage: tocsin-render IN.wav -o OUT.mid [options]\n"
         "       tocsin-render IN.wav --list | --json [options]\n"
         "\n"
         "Runs a recorded take through Tocsin's own detection and writes the MIDI notes the\n"
         "window would have sent: note-on at the first frame above the threshold, note-off at\n"
         "the end of the block that fell back below it.\n"
         "\n"
         "Output:\n"
         "  -o, --output FILE        write a Standard MIDI File (format 0, 24000 ticks a beat\n"
         "                           at 120 bpm: one tick per frame at 48 kHz)\n"
         "  --list                   print one line per note (time, frame, channel, note,\n"
         "                           velocity, side, note-off time) on standard output\n"
         "  --json                   the same as one JSON object per line\n"
         "  --plot FILE.png          draw both channels' levels, thresholds and notes\n"
         "  --from SECONDS           the picture starts there (default: the take's start)\n"
         "  --to SECONDS             the picture ends there (default: the take's end)\n"
         "\n"
         "Settings (default: the settings file the window uses, ~/.config/tocsin/tocsin.ini,\n"
         "or a tocsin.ini beside the tocsin program when there is one):\n"
         "  --settings FILE          read this settings file instead\n"
         "  --block FRAMES           frames per captured block (1 to 1048576)\n"
         "  --bits 8|16              capture sample width\n"
         "  --threshold-left DB      left threshold, whole dB from -144 to 0\n"
         "  --threshold-right DB     right threshold, whole dB from -144 to 0\n"
         "  --channel N              MIDI channel, 1 to 16\n"
         "  --note-left NOTE         left note: a number from 0 to 127 (36), an English name\n"
         "                           (C1 = 36, C3 = 60, F#2, Eb1) or a French one, accent\n"
         "                           optional (Do1 = 36, Re1 = Ré1 = 38, Fa#2)\n"
         "  --note-right NOTE        right note, likewise\n"
         "  --fixed-velocity         velocity 100 instead of following the level\n"
         "  --velocity-follows-level velocity from the level, whatever the settings say\n"
         "  --midi                   both channels give MIDI notes, also a channel the\n"
         "                           settings set to play a sound file\n"
         "  --partial                render a WAV file cut short of its announced length\n"
         "                           (otherwise refused)\n"
         "  -h, --help               show this help\n"
         "  --version                show the version\n"
         "\n"
         "Any audio file libsndfile reads, mono or stereo (of more channels the first two), at\n"
         "its own rate; samples reach the detection as the capture would deliver them. The\n"
         "settings' devices, rate and channel count do not apply: the file says what was heard.\n"
         "A channel set to play a sound file gives no MIDI unless --midi is given.\n"
         "Octaves are numbered as in the window's French names: C3 = Do3 = 60, so the\n"
         "General MIDI kick (36) is C1 or Do1.\n"
         "\n"
         "Exit status: 0 done, 1 bad arguments, 2 a file that cannot be read or written.\n";
}

TRenderOptions ParseRenderOptions(const std::vector<std::string>& args) {
  TRenderOptions o;
  std::vector<std::string> inputs;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        has_value = true;
      }
    }
    auto take = [&]() -> std::string {
      if (has_value) return value;
      if (i + 1 >= args.size()) Bad(arg + ": a value is missing");
      return args[++i];
    };
    auto no_value = [&] {
      if (has_value) Bad(arg + " takes no value");
    };

    if (arg == "-h" || arg == "--help") {
      no_value();
      o.Help = true;
    } else if (arg == "--version") {
      no_value();
      o.Version = true;
    } else if (arg == "-o" || arg == "--output") {
      o.Output = take();
      if (o.Output.empty()) Bad(arg + ": the file name is empty");
    } else if (arg == "--plot") {
      o.Plot = take();
      if (o.Plot.empty()) Bad(arg + ": the file name is empty");
    } else if (arg == "--settings") {
      o.Settings = take();
      if (o.Settings.empty()) Bad(arg + ": the file name is empty");
    } else if (arg == "--list") {
      no_value();
      o.List = true;
    } else if (arg == "--json") {
      no_value();
      o.Json = true;
    } else if (arg == "--block") {
      o.Overrides.BufferSize = static_cast<uint32_t>(
          WholeNumber(arg, take(), 1, kMaxSettingsBufferSize, "frames from 1 to 1048576"));
    } else if (arg == "--bits") {
      const int bits = WholeNumber(arg, take(), 8, 16, "the capture delivers 8 or 16 bits");
      if (bits != 8 && bits != 16)
        Bad(arg + " " + std::to_string(bits) + ": the capture delivers 8 or 16 bits");
      o.Overrides.Bits = static_cast<uint16_t>(bits);
    } else if (arg == "--threshold-left" || arg == "--threshold-right") {
      o.Overrides.Threshold[arg == "--threshold-right"] =
          WholeNumber(arg, take(), -144, 0, "a whole number of dB from -144 to 0");
    } else if (arg == "--channel") {
      o.Overrides.ChannelIndex = WholeNumber(arg, take(), 1, 16, "a MIDI channel from 1 to 16") - 1;
    } else if (arg == "--note-left" || arg == "--note-right") {
      const std::string name = take();
      const int entry = NoteEntryForName(name);
      if (entry < 0) {
        Bad(arg + " " + name +
            ": no such note (0 to 127, or a name from C-2 to B8 or Do-2 to Si8: C1 = Do1 = 36)");
      }
      o.Overrides.NoteIndex[arg == "--note-right"] = entry;
    } else if (arg == "--partial") {
      no_value();
      o.Partial = true;
    } else if (arg == "--fixed-velocity") {
      no_value();
      o.Overrides.FixedVelocity = true;
    } else if (arg == "--velocity-follows-level") {
      no_value();
      o.Overrides.VelocityFollowsLevel = true;
    } else if (arg == "--midi") {
      no_value();
      o.Overrides.ForceMidi = true;
    } else if (arg == "--from") {
      o.PlotFrom = Seconds(arg, take());
    } else if (arg == "--to") {
      o.PlotTo = Seconds(arg, take());
    } else if (arg == "--") {
      inputs.insert(inputs.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      Bad(arg + ": unknown option (see --help)");
    } else {
      inputs.push_back(arg);
    }
  }
  if (o.Help || o.Version) return o;
  if (inputs.empty()) Bad("no input file given (see --help)");
  if (inputs.size() > 1) Bad(inputs[1] + ": only one input file at a time");
  o.Input = inputs[0];
  if (o.List && o.Json) Bad("--list and --json: choose one");
  if (o.Overrides.FixedVelocity && o.Overrides.VelocityFollowsLevel)
    Bad("--fixed-velocity and --velocity-follows-level: choose one");
  if ((o.PlotFrom || o.PlotTo) && o.Plot.empty()) Bad("--from and --to go with --plot");
  if (o.PlotFrom && o.PlotTo && *o.PlotTo <= *o.PlotFrom)
    Bad("--to must come after --from");
  if (o.Output.empty() && o.Plot.empty() && !o.List && !o.Json) {
    Bad("nothing to do: give -o OUT.mid, --list, --json or --plot FILE.png");
  }
  if (!o.Output.empty() && o.Output == o.Input)
    Bad(o.Output + ": the output would overwrite the input");
  return o;
}
