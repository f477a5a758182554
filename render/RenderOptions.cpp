#include "RenderOptions.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>

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

// Hit detection's options: each per-side one also comes as NAME-left and NAME-right.
struct THitOptionName {
  const char* name;
  THitOption option;
  const char* unit;
};
constexpr THitOptionName kHitOptions[] = {
    {"--scan-ms", THitOption::kScanMs, "ms"},
    {"--mask-ms", THitOption::kMaskMs, "ms"},
    {"--decay-ms", THitOption::kDecayMs, "ms"},
    {"--retrigger-db", THitOption::kRetriggerDb, "dB"},
    {"--release-db", THitOption::kReleaseDb, "dB"},
    {"--note-length-ms", THitOption::kNoteLengthMs, "ms"},
    {"--high-pass-hz", THitOption::kHighPassHz, "Hz"},
    {"--low-pass-hz", THitOption::kLowPassHz, "Hz"},
    {"--full-velocity-db", THitOption::kFullVelocityDb, "dB"},
};

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// A decimal number (a point before the decimals) within what hit detection takes; `field` is
// where a settings set holds it, so that the engine's own limits tell the range.
double HitNumber(const std::string& option, const std::string& text, const char* unit,
                 const std::function<double&(THitSettings&)>& field) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  auto limit = [&](double v) {
    THitSettings s;
    field(s) = v;
    s = s.Clamped();
    return field(s);
  };
  const double lo = limit(-1e300), hi = limit(1e300);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value < lo ||
      value > hi) {
    Bad(option + " " + text + ": a number from " + Number(lo) + " to " + Number(hi) + " " + unit);
  }
  return value;
}

// Which sides an option names: both, or the one of its -left or -right ending.
bool Sided(const std::string& arg, const std::string& name, bool (&sides)[2]) {
  if (arg == name) {
    sides[0] = sides[1] = true;
    return true;
  }
  sides[0] = arg == name + "-left";
  sides[1] = arg == name + "-right";
  return sides[0] || sides[1];
}

bool ParseHitOption(const std::string& arg, const std::function<std::string()>& take,
                    TRenderOverrides& o) {
  bool sides[2];
  if (Sided(arg, "--detection", sides)) {
    const std::string kind = take();
    if (kind != "level" && kind != "hit") Bad(arg + " " + kind + ": level or hit");
    for (int side = 0; side < 2; ++side)
      if (sides[side]) o.HitDetection[side] = kind == "hit";
    return true;
  }
  if (Sided(arg, "--velocity-curve", sides)) {
    const std::string name = take();
    static const char* const kCurves[] = {"linear", "soft", "hard"};
    int curve = -1;
    for (int i = 0; i < 3; ++i)
      if (name == kCurves[i]) curve = i;
    if (curve < 0) Bad(arg + " " + name + ": linear, soft or hard");
    for (int side = 0; side < 2; ++side)
      if (sides[side]) o.Curve[side] = static_cast<TVelocityCurve>(curve);
    return true;
  }
  if (arg == "--crosstalk-ms") {
    o.CrosstalkMs = HitNumber(arg, take(), "ms",
                              [](THitSettings& s) -> double& { return s.CrosstalkWindowMs; });
    return true;
  }
  if (arg == "--crosstalk-db") {
    o.CrosstalkDb = HitNumber(arg, take(), "dB",
                              [](THitSettings& s) -> double& { return s.CrosstalkRatioDb; });
    return true;
  }
  if (arg == "--crosstalk-hold-ms") {
    o.CrosstalkHoldMs = HitNumber(arg, take(), "ms",
                                  [](THitSettings& s) -> double& { return s.CrosstalkHoldMs; });
    return true;
  }
  for (const THitOptionName& h : kHitOptions) {
    if (!Sided(arg, h.name, sides)) continue;
    const auto field = HitOptionField(h.option);
    const double value = HitNumber(arg, take(), h.unit,
                                   [field](THitSettings& s) -> double& { return s.Pad[0].*field; });
    for (int side = 0; side < 2; ++side)
      if (sides[side]) o.Hit[static_cast<int>(h.option)][side] = value;
    return true;
  }
  return false;
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
         "the end of the block that fell back below it (\"Niveau\"), or one note per hit, from\n"
         "its first frame above the threshold for the note length (\"Frappe\").\n"
         "\n"
         "Output:\n"
         "  -o, --output FILE        write a Standard MIDI File (format 0, 24000 ticks a beat\n"
         "                           at 120 bpm: one tick per frame at 48 kHz)\n"
         "  --list                   print one line per note (time, frame, channel, note,\n"
         "                           velocity, side, note-off time) on standard output\n"
         "  --json                   the same as one JSON object per line\n"
         "  --plot FILE.png          draw both channels' levels, thresholds and notes (with\n"
         "                           \"Frappe\", the threshold as it falls after each hit)\n"
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
         "\n"
         "Detection (per side: add -left or -right to an option, for example --scan-ms-left):\n"
         "  --detection level|hit    \"Niveau\": a block's level above the threshold holds a\n"
         "                           note; \"Frappe\": each hit, sample by sample, is one note\n"
         "  --scan-ms MS             hit: the scan after the first sample above the threshold;\n"
         "                           its highest peak gives the velocity, its end sends the note\n"
         "  --mask-ms MS             hit: nothing fires for this long after a hit\n"
         "  --decay-ms MS            hit: the threshold falls from the hit's peak back to its own\n"
         "                           level at the rate that takes it from 0 dB there in MS\n"
         "  --retrigger-db DB        hit: while it falls, a new hit must pass it by this much\n"
         "  --release-db DB          hit: the falling threshold lets go this far under its level\n"
         "                           (hysteresis; 0: none)\n"
         "  --note-length-ms MS      hit: from note-on to note-off\n"
         "  --high-pass-hz HZ        hit: detection filter, high-pass (0: none)\n"
         "  --low-pass-hz HZ         hit: detection filter, low-pass (0: none)\n"
         "  --full-velocity-db DB    hit: the peak that gives velocity 127\n"
         "  --velocity-curve linear|soft|hard\n"
         "                           hit: the curve from the threshold to that peak\n"
         "  --crosstalk-ms MS        hit, both sides: a hit this soon after a louder one on the\n"
         "                           other side is crosstalk (0: no rejection)...\n"
         "  --crosstalk-db DB        ...when it is quieter by more than this\n"
         "  --crosstalk-hold-ms MS   hit, both sides: how long a hit waits for a louder one on\n"
         "                           the other side still to come (adds to every note's latency)\n"
         "\n"
         "Other:\n"
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
    } else if (ParseHitOption(arg, take, o.Overrides)) {
      // hit detection's settings
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
