#include "uVumeter.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "AppState.h"

TVumeters Vumeters;

void SetupVumeter(TVuMeter& Meter, const std::string& Name, int MinDb, int MaxDb) {
  if (!Meter.LevelBar) return;
  Meter.LevelBar->SetMin(MinDb);
  Meter.LevelBar->SetMax(MaxDb);
  char hint[256];
  std::snprintf(hint, sizeof hint, "%s%sMax = %d dB %sMin = %d dB", Name.c_str(), "\r", MaxDb, "\r",
                MinDb);
  Meter.LevelBar->SetHint(hint);
}

void SetupVumeters(int MinDb, int MaxDb) {
  SetupVumeter(Vumeters.Left, "Niveau Gauche", MinDb, MaxDb);
  SetupVumeter(Vumeters.Right, "Niveau Droite", MinDb, MaxDb);
}

void SetVumeterLevel(TVuMeter& Meter, double Db) {
  IVuLevelBar* bar = Meter.LevelBar;
  if (!bar) return;
  bar->BeginUpdate();
  try {
    if (!std::isfinite(Db) || std::fabs(Db) > 1e9) throw std::range_error("level out of range");
    bar->SetPosition(static_cast<int>(Db));  // truncated toward zero
  } catch (...) {
    try {
      bar->SetPosition(bar->Min());
    } catch (...) {
    }
  }
  bar->EndUpdate();
}

void ResetVumeters() {
  Vumeters.Resetting = true;
  Vumeters.Left.Level = AudioInParams.MinDb;
  Vumeters.Right.Level = AudioInParams.MinDb;
  SetVumeterLevel(Vumeters.Left, AudioInParams.MinDb);
  SetVumeterLevel(Vumeters.Right, AudioInParams.MinDb);
  Vumeters.Resetting = false;
}
