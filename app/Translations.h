// Qt's own French texts (standard buttons, file dialog, context menus), from Debian's
// qt6-translations-l10n, so that nothing in the window speaks English. UI thread, once, after
// the application object exists.
#pragma once

class QCoreApplication;
class QTranslator;

// The translator installed (owned by app), or null when the translations are not on this
// machine: Qt's texts then stay English.
QTranslator* InstallFrenchTranslations(QCoreApplication& app);
