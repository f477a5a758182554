// The settings file's fixed texts: its section, its 21 keys in file order, the "Default" device
// name and the message shown when the file cannot be written.
#pragma once

namespace SettingsKeys {

inline constexpr const char* kSection = "Main";

inline constexpr const char* kAudioInputDeviceName = "AudioInputDeviceName";
inline constexpr const char* kAudioInputChannels = "AudioInputChannels";
inline constexpr const char* kAudioInputBufferSize = "AudioInputBufferSize";
inline constexpr const char* kAudioInputSampleRate = "AudioInputSampleRate";
inline constexpr const char* kAudioInputBits = "AudioInputBits";
inline constexpr const char* kTocsinLeftThres = "TocsinLeftThres";
inline constexpr const char* kTocsinRightThres = "TocsinRightThres";
inline constexpr const char* kTocsinStartMidiNote0 = "TocsinStartMidiNote0";
inline constexpr const char* kTocsinStartMidiNote1 = "TocsinStartMidiNote1";
inline constexpr const char* kAudioOutFileName0 = "AudioOutFileName0";
inline constexpr const char* kAudioOutFileName1 = "AudioOutFileName1";
inline constexpr const char* kMidiOutDeviceName = "MidiOutDeviceName";
inline constexpr const char* kMidiOutVelFollowAudioInLevel0 = "MidiOutVelFollowAudioInLevel0";
inline constexpr const char* kMidiOutVelFollowAudioInLevel1 = "MidiOutVelFollowAudioInLevel1";
inline constexpr const char* kMidiOutChannel = "MidiOutChannel";
inline constexpr const char* kMidiOutNote0 = "MidiOutNote0";
inline constexpr const char* kMidiOutNote1 = "MidiOutNote1";
inline constexpr const char* kAudioOutputDeviceName = "AudioOutputDeviceName";
inline constexpr const char* kAudioOutVolFollowAudioInLevel0 = "AudioOutVolFollowAudioInLevel0";
inline constexpr const char* kAudioOutVolFollowAudioInLevel1 = "AudioOutVolFollowAudioInLevel1";
inline constexpr const char* kAudioOutputTempDisabledDuration = "AudioOutputTempDisabledDuration";

// Default of keys 1 and 18: the system's default device.
inline constexpr const char* kDefaultDevice = "Default";
// Shown when the settings file cannot be written; %s is the file's path.
inline constexpr const char* kCannotWrite = "Impossible d'écrire dans %s";

}  // namespace SettingsKeys
