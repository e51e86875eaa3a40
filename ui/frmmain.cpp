#include "frmmain.h"

#include "clipboard_port.h"
#include "error_reporter.h"

namespace portauth {

frmMain::frmMain(QWidget* parent)
    : frmMain(std::make_unique<SystemClipboard>(), nullptr, parent)
{
}

frmMain::frmMain(std::unique_ptr<ClipboardPort> clipboard, std::unique_ptr<ErrorReporter> reporter,
                 QWidget* parent)
    : QWidget(parent),
      clipboard_(std::move(clipboard)),
      reporter_(reporter ? std::move(reporter) : std::make_unique<MessageBoxReporter>(this))
{
    setWindowFrame();
    createControls();
    setTexts();
    setFlags();
    setFocusOrder();
    connectHandlers();
    Form_Load();
}

frmMain::~frmMain() = default;

} // namespace portauth
