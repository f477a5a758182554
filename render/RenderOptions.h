// The command line of tocsin-render: the take, what to produce, which settings and the values
// that override them. Raises ERenderError (kExitBadArguments) naming the bad argument.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "RenderSettings.h"

struct TRenderOptions {
  std::string Input;
  std::string Output;    // -o: the MIDI file
  std::string Plot;      // --plot: the PNG picture
  std::string Settings;  // --settings; empty: the window's settings file
  bool List = false;
  bool Json = false;
  bool Help = false;
  bool Partial = false;  // render what a cut-short file holds
  TRenderOverrides Overrides;
  bool Version = false;
  // --from / --to: the part of the take the picture shows, in seconds; unset: all of it.
  std::optional<double> PlotFrom, PlotTo;
};

TRenderOptions ParseRenderOptions(const std::vector<std::string>& args);
std::string RenderUsage();
