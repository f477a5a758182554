#include "SettingsPlace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "IniFile.h"

namespace fs = std::filesystem;

ESettingsFileState CheckSettingsFile(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return ESettingsFileState::Missing;
  if (ec || status.type() != fs::file_type::regular) return ESettingsFileState::Unreadable;
  std::ifstream in(path, std::ios::binary);
  if (!in) return ESettingsFileState::Unreadable;
  const uintmax_t size = fs::file_size(path, ec);
  if (ec) return ESettingsFileState::Unreadable;
  if (size > TIniFile::kMaxFileBytes) return ESettingsFileState::NotSettings;
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return ESettingsFileState::Unreadable;
  bytes.resize(static_cast<size_t>(in.gcount()));
  // Settings are text: a NUL byte says the file is something else (a sound, a program).
  if (bytes.find('\0') != std::string::npos) return ESettingsFileState::NotSettings;
  return ESettingsFileState::Usable;
}

bool SettingsFileWritable(const std::string& path) {
  std::error_code ec;
  if (fs::exists(path, ec)) return ::access(path.c_str(), W_OK) == 0;
  // The nearest folder that exists must take the file or the folders leading to it.
  fs::path folder = fs::absolute(path, ec).parent_path();
  while (!folder.empty() && !fs::exists(folder, ec)) {
    if (folder == folder.parent_path()) break;
    folder = folder.parent_path();
  }
  return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string InstanceSettingsFile(const std::string& default_file, const std::string& client_name) {
  if (client_name.empty() || client_name == "Tocsin" || client_name == "." || client_name == ".." ||
      client_name.find('/') != std::string::npos || client_name.find('\0') != std::string::npos) {
    return default_file;
  }
  return (fs::path(default_file).parent_path() / (client_name + ".ini")).string();
}

TSettingsLock::~TSettingsLock() {
  Release();
}

bool TSettingsLock::Claim(const std::string& file) {
  Release();
  const std::string lock_path = file + ".lock";
  std::error_code ec;
  fs::create_directories(fs::path(lock_path).parent_path(), ec);
  const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return true;  // nowhere to put a lock: nothing to coordinate with
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held_elsewhere = errno == EWOULDBLOCK;
    ::close(fd);
    return !held_elsewhere;
  }
  fd_ = fd;
  return true;
}

void TSettingsLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // the lock goes with the descriptor
  fd_ = -1;
}

std::string ClaimSettingsFile(const std::string& file, TSettingsLock& lock) {
  const fs::path path(file);
  const std::string stem = (path.parent_path() / path.stem()).string();
  const std::string extension = path.extension().string();
  std::string candidate = file;
  // A hundred instances of one program on one account is beyond any real use: the last
  // candidate is then shared.
  for (int n = 2; n <= 100 && !lock.Claim(candidate); ++n) {
    candidate = stem + "-" + std::to_string(n) + extension;
  }
  return candidate;
}

std::string CannotReadMessage(const std::string& path, ESettingsFileState state) {
  const std::string why = state == ESettingsFileState::NotSettings
                              ? " : ce n'est pas un fichier de réglages"
                              : " : lecture refusée";
  return "Impossible de lire " + path + why +
         ".\nLes réglages par défaut sont utilisés et ce fichier ne sera pas modifié.";
}

std::string WillNotSaveMessage(const std::string& path) {
  return "Impossible d'écrire dans " + path +
         ".\nLes réglages modifiés ne seront pas enregistrés à la fermeture.";
}
