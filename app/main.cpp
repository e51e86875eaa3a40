#include <QApplication>
#include <QIcon>

#include <sys/prctl.h>

#include "form_widget.h"
#include "qt_translations.h"
#include "settings_store.h"
#include "system_clipboard.h"
#include "version.h"

int main(int argc, char* argv[])
{
    // The derived password is the network credential itself: no core file
    // and no debugger of the same user may read it out of this process.
    prctl(PR_SET_DUMPABLE, 0);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PortAuth"));
    QApplication::setApplicationVersion(QStringLiteral(PORTAUTH_VERSION_TEXT));
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.portauth"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/portauth.ico")));
    portauth::qt::installChineseQtTranslations(app);

    portauth::qt::FormWidget window(std::make_unique<portauth::qt::SystemClipboard>(),
                                    std::make_unique<portauth::ui::StoreSettings>(&portauth::GetRemembered,
                                                                                  &portauth::SaveRemembered));
    window.show();
    return QApplication::exec();
}
