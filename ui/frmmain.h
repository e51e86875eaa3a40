#pragma once

#include <QWidget>

#include <memory>
#include <set>
#include <string_view>

#include "numbered_error.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace portauth {

class ClipboardPort;
class ErrorReporter;
class HorizontalRule;

// The program's one window: instructions, three input boxes, three
// read-only output boxes, their captions and a rule between the two groups.
// Positions are given in twips, as the layout was drawn.
class frmMain : public QWidget {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    // The clipboard and the error messages sit behind seams for tests.
    frmMain(std::unique_ptr<ClipboardPort> clipboard, std::unique_ptr<ErrorReporter> reporter,
            QWidget* parent = nullptr);
    ~frmMain() override;

    QString MD5String(const QString& S) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What can go wrong, each reported once until it has gone right again.
    enum class Failure { LoadSettings, SaveSettings, Password, Clipboard };

    // Events
    void connectHandlers();
    void Form_Load();
    void txtUsername_Change();
    void txtIP_Change();
    void txtPassword_Change();
    void txtNUserName_KeyDown(qint16& KeyCode, qint16& Shift);
    void txtNPassword_KeyDown(qint16& KeyCode, qint16& Shift);
    void txtNDomain_KeyDown(qint16& KeyCode, qint16& Shift);

    void recomputeUserName();
    void remember(std::u16string_view key, const QLineEdit* box);
    void copyOnCtrlC(const QLineEdit* box, bool emptyClipboardFirst, qint16& KeyCode, qint16 Shift);
    template <class Action>
    bool guarded(Failure failure, Action&& action);
    static QStringView failureText(Failure failure, ErrorNumber number);


    // Layout (frmmain_layout.cpp)
    void setWindowFrame();
    void createControls();
    void setTexts();
    void setAccessibleNames();
    void setFlags();
    void setFocusOrder();

    QRect toPixels(const QRect& twips) const;
    QLineEdit* addTextBox(const char* name, const QRect& twips);
    QLabel* addLabel(const char* name, const QRect& twips);
    void lockOutputBox(QLineEdit* box);

    // Controls, in creation order
    QLineEdit* txtNDomain = nullptr;
    QLineEdit* txtNPassword = nullptr;
    QLineEdit* txtNUserName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtIP = nullptr;
    QLineEdit* txtUsername = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label4 = nullptr;
    HorizontalRule* Line1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;

    std::unique_ptr<ClipboardPort> clipboard_;
    std::unique_ptr<ErrorReporter> reporter_;
    std::set<Failure> reportedFailures_;
};

} // namespace portauth
