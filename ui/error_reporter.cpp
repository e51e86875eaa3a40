#include "error_reporter.h"

#include <QMessageBox>

namespace portauth {

void MessageBoxReporter::Report(const QString& message)
{
    auto* box = new QMessageBox(QMessageBox::Warning, window_->windowTitle(), message, QMessageBox::Ok, window_);
    box->setFont(window_->font());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace portauth
