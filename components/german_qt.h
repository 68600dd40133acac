#pragma once
// Qt's own texts (the buttons of the standard dialogs, the file and printer dialogs) in
// German, from the translations the system's Qt brings along. Header only, so each
// program's main can load them the moment its application object exists.
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace mv {

// Installs Qt's German translations on the running application; false when the system
// has none (the texts then stay as Qt has them).
inline bool load_german_qt_translations() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  auto* qt = new QTranslator(app);
  if (!qt->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qt"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(qt)) {
    delete qt;
    return false;
  }
  return true;
}

}  // namespace mv
