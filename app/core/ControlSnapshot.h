// The values of the main window's controls that the capture thread reads for every block.
// The UI thread writes a field whenever its control changes; the capture thread reads the
// fields when the block handler would read the control. Each field is atomic on its own, so
// neither thread ever waits for the other.
#pragma once

#include <atomic>

struct TControlSnapshot {
  // edTocsinLeftThres / edTocsinRightThres: whole decibels, -144..0.
  std::atomic<int> Thres[2] = {-45, -45};
  // rbStartMidiNote0/1 ("Note MIDI") and rbStartAudioFile0/1 ("Fichier son").
  std::atomic<bool> StartMidiNote[2] = {true, true};
  std::atomic<bool> StartAudioFile[2] = {false, false};
  // cbMidiOutVelFollowAudioInLevel and cbAudioOutVolFollowAudioInLevel.
  std::atomic<bool> MidiVelFollowLevel{true};
  std::atomic<bool> AudioVolFollowLevel{false};
  // lstMidiOutChannel and lstMidiOutNote0/1 selections: item indexes, -1 for none.
  std::atomic<int> MidiChannelIndex{0};
  std::atomic<int> NoteIndex[2] = {60, 60};
  // lstTocsinDetection0/1: "Frappe" (true) hands the channel to hit detection, which fires it
  // from the capture tap; the block handler then fires nothing for it. "Niveau" (false) as ever.
  std::atomic<bool> HitDetection[2] = {false, false};
};
