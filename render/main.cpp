// tocsin-render: a recorded take through the window's own detection, to a MIDI file, a note
// list or a picture. Exit status 0, 1 for bad arguments, 2 for a file that cannot be read or
// written; never a half-written output.
#include <QGuiApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "LevelPlot.h"
#include "MidiFile.h"
#include "ProgressBar.h"
#include "RenderError.h"
#include "RenderOptions.h"
#include "RenderReport.h"
#include "RenderTake.h"

namespace {
// The offscreen platform has no session to talk to; its notices about that are no news to
// someone who asked for a picture file.
void QuietQtNotices(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  if (text.startsWith("QStandardPaths:")) return;
  std::fprintf(stderr, "tocsin-render: %s\n", text.toLocal8Bit().constData());
}

// A settings file named on the command line must be there: a typo would otherwise render with
// the defaults without a word.
void CheckSettingsFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw ERenderError(kExitBadFile, path + ": is a directory, not a settings file");
  }
  std::ifstream in(path);
  if (!in) throw ERenderError(kExitBadFile, path + ": " + std::strerror(errno));
}

uint64_t FrameAt(double seconds, uint32_t rate) {
  return static_cast<uint64_t>(seconds * rate + 0.5);
}

std::string BaseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

int Run(int argc, char** argv) {
  const TRenderOptions opt = ParseRenderOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (opt.Help) {
    std::fputs(RenderUsage().c_str(), stdout);
    return 0;
  }
  if (opt.Version) {
    std::printf("tocsin-render %s\n", TOCSIN_PROGRAM_VERSION);
    return 0;
  }

  std::string settings_path = opt.Settings;
  if (!settings_path.empty()) {
    CheckSettingsFile(settings_path);
    std::fprintf(stderr, "tocsin-render: settings from %s\n", settings_path.c_str());
  } else {
    settings_path = WindowSettingsFile();
    std::error_code ec;
    if (!settings_path.empty() && std::filesystem::exists(settings_path, ec)) {
      std::fprintf(stderr, "tocsin-render: settings from %s (the window's)\n",
                   settings_path.c_str());
    } else {
      std::fprintf(stderr, "tocsin-render: no settings file at %s: the window's defaults\n",
                   settings_path.empty() ? "the usual place" : settings_path.c_str());
    }
  }
  TRenderSettings settings;
  LoadRenderSettings(settings_path, opt.Overrides, settings);
  if (settings.Bits != 8 && settings.Bits != 16) {
    throw ERenderError(kExitBadArguments, settings_path + ": AudioInputBits " +
                                              std::to_string(settings.Bits) +
                                              ": the capture delivers 8 or 16 bits (see --bits)");
  }

  TRenderSource source(opt.Input, settings.Bits, opt.Partial);
  if (source.CutShortBy()) {
    std::fprintf(stderr,
                 "tocsin-render: %s: cut short, %llu frames missing; rendering the %llu there\n",
                 opt.Input.c_str(), static_cast<unsigned long long>(source.CutShortBy()),
                 static_cast<unsigned long long>(source.Frames()));
  }
  // Before anything is written: a picture of nothing is no picture.
  if (opt.PlotFrom && FrameAt(*opt.PlotFrom, source.SampleRate()) >= source.Frames()) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", *opt.PlotFrom);
    throw ERenderError(kExitBadArguments,
                       std::string("--from ") + seconds + ": the take is shorter");
  }
  TProgressBar bar(BaseName(opt.Input), source.Frames(), source.SampleRate());
  std::unique_ptr<TRenderChain> rendered;
  try {
    rendered = RenderWithSettings(source, settings, !opt.Plot.empty(),
                                  [&](uint64_t done) { bar.Update(done); });
  } catch (...) {
    bar.Clear();
    throw;
  }
  bar.Clear();
  const TRenderChain& chain = *rendered;

  if (!opt.Output.empty()) {
    const auto bytes =
        BuildMidiFile(chain.Messages(), chain.Frames(), source.SampleRate(), BaseName(opt.Input));
    if (std::error_code ec = WriteFileAtomically(opt.Output, bytes)) {
      throw ERenderError(kExitBadFile,
                         opt.Output + ": cannot write the MIDI file (" + ec.message() + ")");
    }
  }
  if (!opt.Plot.empty()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietQtNotices);
    int qt_argc = 1;
    char* qt_argv[] = {argv[0], nullptr};
    QGuiApplication app(qt_argc, qt_argv);
    TPlotInput plot;
    plot.Levels = &chain.Levels();
    plot.Notes = &chain.Notes();
    plot.BlockFrames = settings.BufferSize;
    plot.SampleRate = source.SampleRate();
    plot.TotalFrames = chain.Frames();
    plot.Threshold[0] = settings.Controls.Thres[0];
    plot.Threshold[1] = settings.Controls.Thres[1];
    plot.HitThresholds = &chain.Thresholds();
    plot.HitThresholdStep = TRenderChain::kThresholdStep;
    if (opt.PlotFrom) plot.FromFrame = FrameAt(*opt.PlotFrom, source.SampleRate());
    if (opt.PlotTo) plot.ToFrame = FrameAt(*opt.PlotTo, source.SampleRate());
    plot.Title = BaseName(opt.Input) + ": " + std::to_string(chain.Notes().size()) +
                 " notes, blocks of " + std::to_string(settings.BufferSize) + " frames";
    std::string error;
    if (!WriteLevelPlot(plot, opt.Plot, error)) {
      throw ERenderError(kExitBadFile, opt.Plot + ": cannot write the picture (" + error + ")");
    }
  }
  if (opt.List) {
    std::printf("%s\n", NoteListHeader().c_str());
    for (const TRenderNote& n : chain.Notes()) {
      std::printf("%s\n", NoteListLine(n, source.SampleRate()).c_str());
    }
  } else if (opt.Json) {
    for (const TRenderNote& n : chain.Notes()) {
      std::printf("%s\n", NoteJsonLine(n, source.SampleRate()).c_str());
    }
  }
  for (int side = 0; side < 2; ++side) {
    if (!settings.Controls.StartMidiNote[side]) {
      std::fprintf(stderr,
                   "tocsin-render: the %s channel plays a sound file in these settings: it "
                   "gives no MIDI (--midi makes it give notes)\n",
                   side == 0 ? "left" : "right");
    }
  }
  if (std::fflush(stdout) != 0) {
    throw ERenderError(kExitBadFile, std::string("standard output: ") + std::strerror(errno));
  }
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const ERenderError& e) {
    std::fprintf(stderr, "tocsin-render: %s\n", e.what());
    return e.ExitCode();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tocsin-render: %s: %s\n", argc > 1 ? argv[1] : "", e.what());
    return kExitBadFile;
  }
}
