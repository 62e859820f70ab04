#pragma once
// Qt's own texts in Brazilian Portuguese: the buttons of its message boxes
// and dialogs ("Cancelar" beside "OK") and its file dialog, which would
// otherwise read in English in a Portuguese program. The translations
// come from Qt's translations folder (Debian: qt6-translations-l10n).

class QCoreApplication;
class QTranslator;

// Loads Qt's Brazilian Portuguese translations and installs them in app,
// which owns them; returns them. Null, with a warning on standard error,
// when they cannot be found: Qt's texts then stay in English.
QTranslator* InstallQtTranslations(QCoreApplication& app);
