#include "SessionLink.h"

#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "AppState.h"
#include "IniFile.h"
#include "SettingsPlace.h"
#include "frmMain.h"

namespace {
// The session's state beside the settings: whether the window showed, whether triggering ran.
const char kSection[] = "Session";
const char kGuiVisible[] = "GuiVisible";
const char kRunning[] = "Running";

// The announce answer comes at once from a live manager; the open right after it.
constexpr std::chrono::milliseconds kAnswerTimeout{3000};
constexpr std::chrono::milliseconds kOpenTimeout{10000};

int term_pipe[2] = {-1, -1};

void OnTerm(int) {
  const char byte = 't';
  // Signal-handler rules: one write to a pipe, nothing else.
  (void)!::write(term_pipe[1], &byte, 1);
}

void Log(const std::string& text) {
  std::fprintf(stderr, "tocsin: session: %s\n", text.c_str());
}
}  // namespace

std::unique_ptr<TSessionLink> TSessionLink::Open(const std::string& url,
                                                 const std::string& executable) {
  auto client = std::make_unique<TNsmClient>(&Log);
  if (!client->Announce(url, "Tocsin", ":optional-gui:", executable, static_cast<int>(getpid())))
    return nullptr;
  client->GuiIsShown(false);  // the window is not up yet
  std::optional<TNsmOpen> open = client->WaitForOpen(kAnswerTimeout, kOpenTimeout);
  if (!open) return nullptr;
  // The path names this instance's data; Tocsin keeps one file there, "<path>.ini".
  if (open->Path.empty() || open->Path.front() != '/') {
    client->RefuseOpen(kNsmErrCreateFailed,
                       "the session path \"" + open->Path + "\" is not an absolute path");
    return nullptr;
  }
  const std::string file = open->Path + ".ini";
  const ESettingsFileState state = CheckSettingsFile(file);
  if (state == ESettingsFileState::Unreadable || state == ESettingsFileState::NotSettings) {
    client->RefuseOpen(kNsmErrBadProject, file + " cannot be read as Tocsin's settings");
    return nullptr;
  }
  if (!SettingsFileWritable(file)) {
    client->RefuseOpen(kNsmErrCreateFailed, file + " cannot be written");
    return nullptr;
  }
  Log("session open: settings in " + file + ", JACK client " + open->ClientId);
  return std::unique_ptr<TSessionLink>(new TSessionLink(std::move(client), *open, file));
}

TSessionLink::TSessionLink(std::unique_ptr<TNsmClient> client, TNsmOpen open,
                           std::string settings_file)
    : client_(std::move(client)), open_(std::move(open)), settings_file_(std::move(settings_file)) {
  osc_ = new QSocketNotifier(client_->SocketFd(), QSocketNotifier::Read, this);
  connect(osc_, &QSocketNotifier::activated, this, [this] { client_->Poll(); });
  // The manager ends its clients with SIGTERM: at once, no dialog, no save.
  if (::pipe2(term_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    term_ = new QSocketNotifier(term_pipe[0], QSocketNotifier::Read, this);
    connect(term_, &QSocketNotifier::activated, this, [this] { Terminate(); });
    struct sigaction action {};
    action.sa_handler = &OnTerm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
  }
}

TSessionLink::~TSessionLink() {
  if (term_) {
    std::signal(SIGTERM, SIG_DFL);
    ::close(term_pipe[0]);
    ::close(term_pipe[1]);
    term_pipe[0] = term_pipe[1] = -1;
  }
}

bool TSessionLink::Attach(TfmMain& window) {
  window_ = &window;
  // The session saves when the user saves it; closing must not write behind its back.
  window.SetSaveAtClose(false);
  client_->OnSave = [this] { return Save(); };
  client_->OnShowGui = [this](bool show) {
    if (!show) {
      window_->hide();
      return;
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
  };
  window.installEventFilter(this);
  const TIniFile ini = TIniFile::Load(settings_file_);
  const bool visible = ini.ReadBool(kSection, kGuiVisible, false);
  const bool running = ini.ReadBool(kSection, kRunning, false);
  client_->ReplyOpen("Tocsin est prêt");
  // A first load into a session starts hidden, as the protocol asks; later loads as saved.
  if (visible) {
    window.show();
  } else {
    Report(false);
  }
  return running;
}

std::string TSessionLink::Save() {
  if (!window_) return "the window is not up yet";
  // The window's file is the session's.
  return window_->SaveSettingsNow([this](TIniFile& ini) {
    ini.WriteBool(kSection, kGuiVisible, window_->isVisible());
    ini.WriteBool(kSection, kRunning, RunFlags.Running.load());
  });
}

void TSessionLink::Report(bool shown) {
  if (reported_ == static_cast<int>(shown)) return;
  reported_ = shown;
  client_->GuiIsShown(shown);
}

bool TSessionLink::eventFilter(QObject* target, QEvent* event) {
  if (target != window_) return false;
  switch (event->type()) {
    case QEvent::Close:
      // The window manager's close box hides the window; Fichier > Quitter still ends Tocsin.
      if (event->spontaneous()) {
        event->ignore();
        window_->hide();
        return true;
      }
      QTimer::singleShot(0, this, [this] {
        if (window_->Closed()) QCoreApplication::quit();
      });
      return false;
    case QEvent::Show:
    case QEvent::Hide:
      // A minimised window stays shown as far as the session is concerned.
      if (!event->spontaneous()) Report(event->type() == QEvent::Show);
      return false;
    default:
      return false;
  }
}

void TSessionLink::Terminate() {
  char drain[16];
  while (::read(term_pipe[0], drain, sizeof drain) > 0) {
  }
  Log("ending at the session manager's request");
  if (window_) window_->CloseQuietly();
  QCoreApplication::quit();
}
