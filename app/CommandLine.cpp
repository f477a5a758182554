#include "CommandLine.h"

#include <QCommandLineParser>

namespace {
// Options QApplication takes for itself; accepted here so that they reach it.
const char* const kQtValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "display", "geometry",
    "style",       "stylesheet",         "name",          "title"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

const char kDescription[] =
    "Turns an audio input into MIDI notes or sounds: each channel fires its note or sound when\n"
    "its level rises above its threshold. Without options the window opens with the settings\n"
    "kept in ~/.config/tocsin/tocsin.ini (or tocsin.ini beside the program when there is one).\n"
    "Under a session manager (NSM_URL set) the session names the settings file and the JACK\n"
    "client.";

std::string Usage(const QCommandLineParser& parser) {
  return parser.helpText().toStdString();
}

// The help's first line ("Usage: ...") and where to read more.
std::string ShortUsage(const QCommandLineParser& parser) {
  const QString help = parser.helpText();
  return help.left(help.indexOf('\n') + 1).toStdString() +
         "Try 'tocsin --help' for more information.\n";
}
}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments, const QString& version) {
  TCommandLine result;
  QCommandLineParser parser;
  // Long options with one dash as Qt's own (-platform) and two as ours (--start) both parse.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(kDescription);
  const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
  const QCommandLineOption show_version({"v", "version"}, "Show the version and exit.");
  const QCommandLineOption settings(
      "settings", "Read and save the settings in FILE instead of the usual place.", "FILE");
  const QCommandLineOption start("start",
                                 "Start triggering once the window is up (as the Start button "
                                 "does; on failure the error is shown and Tocsin waits).");
  const QCommandLineOption jack_name("jack-name", "Name of Tocsin's JACK client (default: Tocsin).",
                                     "NAME");
  parser.addOptions({help, show_version, settings, start, jack_name});
  for (const char* name : kQtValueOptions) {
    QCommandLineOption qt(name, QString(), "value");
    qt.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(qt);
  }
  for (const char* name : kQtFlagOptions) {
    QCommandLineOption qt(name);
    qt.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(qt);
  }

  auto fail = [&](const QString& message) {
    result.Exit = true;
    result.ExitCode = 2;
    result.Err = "tocsin: " + message.toStdString() + "\n" + ShortUsage(parser);
    return result;
  };
  if (!parser.parse(arguments)) return fail(parser.errorText());
  if (parser.isSet(help)) {
    result.Exit = true;
    result.Out = Usage(parser);
    return result;
  }
  if (parser.isSet(show_version)) {
    result.Exit = true;
    result.Out = "tocsin " + version.toStdString() + "\n";
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    return fail("unexpected argument '" + parser.positionalArguments().first() + "'.");
  }
  if (parser.isSet(settings)) {
    result.SettingsFile = parser.value(settings).toStdString();
    if (result.SettingsFile.empty()) return fail("--settings: the file name is empty.");
  }
  if (parser.isSet(jack_name)) {
    result.JackName = parser.value(jack_name).toStdString();
    if (result.JackName.empty()) return fail("--jack-name: the name is empty.");
    // JACK's limit for a client name.
    if (result.JackName.size() > 63) return fail("--jack-name: at most 63 bytes.");
  }
  result.Start = parser.isSet(start);
  return result;
}
