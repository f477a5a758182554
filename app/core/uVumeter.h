// The level-meter layer that drives the two level bars: range and hint set-up, positions set in
// one repaint, reset to empty. The bars are reached through a small interface so that this layer
// knows nothing of the window toolkit.
#pragma once

#include <cstdint>
#include <string>

// What the meters need of a level bar.
class IVuLevelBar {
 public:
  virtual ~IVuLevelBar() = default;
  virtual void SetMin(int value) = 0;
  virtual void SetMax(int value) = 0;
  virtual int Min() const = 0;
  virtual void SetHint(const std::string& hint) = 0;
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void SetPosition(int value) = 0;  // may throw
};

struct TVuMeter {
  IVuLevelBar* LevelBar = nullptr;  // none: the meter does nothing
  double Level = 0;                 // the level set by the last reset, dB
};

struct TVumeters {
  TVuMeter Left;
  TVuMeter Right;
  uint32_t LastUpdate = 0;   // ms tick of the last display refresh
  uint32_t CurrentTick = 0;  // ms tick taken at the latest block
  double MinDb = 0;
  double MaxDb = 0;
  int32_t UpdateInterval = 100;  // ms between two refreshes, at least
  bool Resetting = false;
};

extern TVumeters Vumeters;

void SetupVumeter(TVuMeter& Meter, const std::string& Name, int MinDb, int MaxDb);
void SetupVumeters(int MinDb, int MaxDb);
void SetVumeterLevel(TVuMeter& Meter, double Db);
void ResetVumeters();
