// Which settings file a running Tocsin uses, and whether it may read and replace it: one file per
// instance (named after its JACK client when that is not the default one), a lock that keeps a
// second instance off the first one's file, and the checks that keep a file the program cannot
// read, or that holds no settings, from being overwritten at close. UI thread (and
// tocsin-render's only thread).
#pragma once

#include <string>

enum class ESettingsFileState {
  Missing,      // nothing there yet: the first save makes it
  Usable,       // a text file this user may read
  Unreadable,   // there, but cannot be opened or is no regular file
  NotSettings,  // a file whose bytes are no settings text (binary, or far too large)
};
ESettingsFileState CheckSettingsFile(const std::string& path);

// Whether this user may replace the file, or make it (with the folders it needs) when missing.
bool SettingsFileWritable(const std::string& path);

// The file of an instance whose JACK client (or, without JACK, the name it was started with) is
// client_name: default_file itself for the default name "Tocsin", "<client_name>.ini" beside it
// otherwise. A name that cannot be a file name ("/", "..", empty) gives default_file.
std::string InstanceSettingsFile(const std::string& default_file, const std::string& client_name);

// Held while an instance runs, so that another instance started meanwhile takes a file of its
// own instead of overwriting this one's at close. The lock is "<file>.lock" beside the file; it
// goes away with the process, whatever way that ends.
class TSettingsLock {
 public:
  TSettingsLock() = default;
  ~TSettingsLock();
  TSettingsLock(const TSettingsLock&) = delete;
  TSettingsLock& operator=(const TSettingsLock&) = delete;

  // True when this process now holds `file` (or no lock can be made there at all: the folder
  // refuses it, so nothing can be claimed and the file is used as it is). False when another
  // running instance holds it.
  bool Claim(const std::string& file);
  void Release();

 private:
  int fd_ = -1;
};

// The first of file, "<base>-2.ini", "<base>-3.ini" ... that no other running instance holds,
// now held through `lock`.
std::string ClaimSettingsFile(const std::string& file, TSettingsLock& lock);

// French texts for the window.
// "Impossible de lire <path> : ..." for an unreadable file or one that holds no settings.
std::string CannotReadMessage(const std::string& path, ESettingsFileState state);
// A file named on the command line that cannot be written: said at start, not at close.
std::string WillNotSaveMessage(const std::string& path);
