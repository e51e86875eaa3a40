#pragma once

class QCoreApplication;

namespace portauth::qt {

// Qt's own texts (a text box's context menu, message box buttons) in
// Chinese, like the rest of the window, whatever the desktop's language.
// Returns false when the translation is not installed; Qt then stays in English.
bool installChineseQtTranslations(QCoreApplication& app);

} // namespace portauth::qt
