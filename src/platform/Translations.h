#pragma once

class QTranslator;

// Loads Qt's own Chinese texts (standard buttons, file dialogs) into
// `translator` and installs it, whatever the system's language. False when
// the translations are not installed (qt6-translations-l10n): the texts then
// stay English.
bool installChineseTranslations(QTranslator& translator);
