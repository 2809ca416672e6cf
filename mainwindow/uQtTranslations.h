#pragma once

// Qt's own texts (the file dialogs' labels and buttons, the standard buttons)
// in the language the program speaks to the user.

#include <QTranslator>

#include <memory>

// Installs Qt's translations for a Japanese user and gives the translator,
// which takes them away again when it goes; nullptr for any other user, or
// where the translations are not installed.
std::unique_ptr<QTranslator> InstallQtTranslations();
