#include <QApplication>
#include <QIcon>

#include "frmmain.h"
#include "qt_translations.h"
#include "version.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PortAuth"));
    QApplication::setApplicationVersion(QStringLiteral(PORTAUTH_VERSION_TEXT));
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.portauth"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/portauth.ico")));
    portauth::installChineseQtTranslations(app);

    portauth::frmMain window;
    window.show();
    return QApplication::exec();
}
