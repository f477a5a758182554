// Tocsin under a session manager speaking NSM. Before the window exists: announce the program and
// take the session's open, which names the JACK client and the settings file ("<path>.ini").
// Once the window runs: the session's save writes the settings (with whether the window showed
// and triggering ran, to come back the same way), its show and hide orders show and hide the
// window (whose close box then hides it), and SIGTERM ends the program at once, without a dialog
// or a save. A manager that goes away or talks nonsense is logged on standard error and
// otherwise ignored. UI thread.
#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "NsmClient.h"

class QSocketNotifier;
class TfmMain;

class TSessionLink final : public QObject {
 public:
  // Announces to the manager at url and waits (a few seconds at most) for the session's open.
  // Null when no session could be opened: the program then runs on its own.
  static std::unique_ptr<TSessionLink> Open(const std::string& url, const std::string& executable);
  ~TSessionLink() override;

  const std::string& ClientId() const { return open_.ClientId; }
  const std::string& SettingsFile() const { return settings_file_; }

  // Answers the open once the window is made with the session's file, then follows the
  // session's orders. Shows the window when the session last saved it so; true when triggering
  // ran then (the caller starts it again, once). The window must outlive this object.
  bool Attach(TfmMain& window);

 protected:
  bool eventFilter(QObject* target, QEvent* event) override;

 private:
  TSessionLink(std::unique_ptr<TNsmClient> client, TNsmOpen open, std::string settings_file);
  std::string Save();
  void Report(bool shown);
  void Terminate();

  std::unique_ptr<TNsmClient> client_;
  TNsmOpen open_;
  std::string settings_file_;
  TfmMain* window_ = nullptr;
  QSocketNotifier* osc_ = nullptr;
  QSocketNotifier* term_ = nullptr;
  int reported_ = 0;  // last visibility told to the manager (hidden at the open): 0 hidden, 1 shown
};
