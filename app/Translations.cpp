#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QTranslator* InstallFrenchTranslations(QCoreApplication& app) {
  auto* qt = new QTranslator(&app);
  if (!qt->load("qtbase_fr", QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(qt)) {
    delete qt;
    return nullptr;
  }
  return qt;
}
