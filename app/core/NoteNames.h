// The entries of the MIDI lists on the "Sortie MIDI" page: the 132 note names (octave -2 to 8,
// "Do-2" to "Si8"), the channels "1" to "16", and the note number each note entry sends.
// Names are stored as Windows-1252 bytes ("Ré" is 52 E9); Cp1252ToUtf8 gives the shown text.
#pragma once

#include <string>
#include <vector>

inline constexpr int kNoteEntryCount = 132;
inline constexpr int kMidiChannelCount = 16;

// Entry k: semitone name k mod 12 followed by the octave k div 12 - 2; "" outside 0..131.
std::string NoteEntryName(int k);
// All 132 entries in list order (octave -2 to 8, Do to Si within each octave).
std::vector<std::string> NoteEntryNames();
// The same, as UTF-8 for display.
std::vector<std::string> NoteEntryNamesUtf8();
// The entry whose stored name is exactly name (Windows-1252), or -1.
int NoteEntryIndex(const std::string& name);

// Entries 0..127 send their own number. Entries 128..131 (Sol#8 to Si8) lie above the MIDI
// range: they send the same note one octave lower (116..119), the highest of that name.
// -1 for any other index (nothing selected): no note is sent.
int MidiNoteForEntry(int k);

// A note as a user may type it on a command line, as its note list entry (0..131), or -1:
//   - a MIDI note number, 0 to 127 ("36");
//   - an English name, letter C to B, then "#" (sharp) or "b" (flat), then the octave, with the
//     octaves numbered as the French names are: C3 = Do3 = 60, so C1 = 36 (the General MIDI
//     kick) and C-2 = 0;
//   - a French name, with or without its accent ("Ré1", "Re1", "re#1"), "#" or "b" likewise.
// Letter case is ignored. UTF-8.
int NoteEntryForText(const std::string& text);
// The English name of MIDI note `note` (0..127) in that numbering: 36 is "C1", 61 "C#3".
std::string EnglishNoteName(int note);

// "1" to "16"; entry i is MIDI channel i + 1.
std::vector<std::string> MidiChannelEntries();
