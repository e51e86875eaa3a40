#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>

#include "frmmain.h"
#include "qt_translations.h"
#include "version.h"

namespace {

// A request for the Song face by either of its names goes to a free Song
// face with the same cell widths where the face itself is missing.
void substituteMissingSimSun()
{
    if (QFontDatabase::hasFamily(QStringLiteral("SimSun")))
        return;
    for (const QString& name : {QStringLiteral("宋体"), QStringLiteral("SimSun")})
        QFont::insertSubstitution(name, QStringLiteral("AR PL UMing CN"));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PortAuth"));
    QApplication::setApplicationVersion(QStringLiteral(PORTAUTH_VERSION_TEXT));
    // Lets the desktop match the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.portauth"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icon/portauth.ico")));
    substituteMissingSimSun();
    portauth::installChineseQtTranslations(app);

    portauth::frmMain window;
    window.show();
    return QApplication::exec();
}
