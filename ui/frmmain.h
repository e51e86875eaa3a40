#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "numbered_error.h" // what the ports throw
#include "window_rules.h"
#include "window_table.h"

// What the window does, without a toolkit: each front end draws the table,
// fills in the ports below, forwards its events to frmMain and follows the
// rules of window_rules.h where its toolkit would choose for itself.
namespace portauth::ui {

// The boxes' texts as the toolkit holds them. frmMain sets only a text that
// differs from the box's own, and that raises the box's Change event at
// once, through the front end, before SetText returns.
class FormView {
public:
    virtual ~FormView() = default;
    virtual std::u16string Text(ControlId box) const = 0;
    virtual void SetText(ControlId box, std::u16string_view text) = 0;
};

// The two clipboard operations. A secret text is marked so that clipboard
// managers neither show nor keep it. Failures throw NumberedError.
class ClipboardPort {
public:
    enum class Sensitivity { Plain, Secret };
    virtual ~ClipboardPort() = default;
    virtual void Clear() = 0;
    virtual void SetText(std::u16string_view text, Sensitivity sensitivity) = 0;
    // X11's primary selection, which a toolkit fills as the user selects.
    // Windows has none.
    virtual void SetSelectionText(std::u16string_view /*text*/, Sensitivity /*sensitivity*/) {}
};

// The remembered inputs, by key. Failures throw NumberedError.
class SettingsPort {
public:
    virtual ~SettingsPort() = default;
    virtual std::u16string Get(std::u16string_view key) = 0;
    virtual void Save(std::u16string_view key, std::u16string_view value) = 0;
};

// The remembered inputs over the two functions of a platform's store, which
// each program picks where it wires its adapters.
class StoreSettings final : public SettingsPort {
public:
    using Load = std::u16string (*)(std::u16string_view key);
    using Keep = void (*)(std::u16string_view key, std::u16string_view value);
    StoreSettings(Load load, Keep keep) noexcept : load_(load), keep_(keep) {}
    std::u16string Get(std::u16string_view key) override { return load_(key); }
    void Save(std::u16string_view key, std::u16string_view value) override { keep_(key, value); }

private:
    Load load_;
    Keep keep_;
};

// What can go wrong, each told once until it has gone right again, when
// its message closes.
enum class Failure : std::uint8_t { LoadSettings, SaveSettings, Password, Clipboard };

// Shows a message beside the window without taking the keyboard focus and
// without blocking it; a new message for a cause replaces the one shown.
class MessagePort {
public:
    virtual ~MessagePort() = default;
    virtual void Show(Failure cause, std::u16string_view text) = 0;
    virtual void Close(Failure cause) = 0;
};

class frmMain {
public:
    frmMain(FormView& view, ClipboardPort& clipboard, SettingsPort& settings, MessagePort& messages);

    // Front ends forward the toolkit's events here.
    void Change(ControlId box);
    // True when a handler took the key, so the box must not handle it too,
    // nor the character it makes.
    bool KeyDown(ControlId box, std::int16_t KeyCode, std::int16_t Shift);
    // The box's own copy or cut of its selection, by any key, menu or drag:
    // true when frmMain has dealt with it and the toolkit must not copy.
    bool CopySelection(ControlId box, std::u16string_view selection);
    // The toolkit has put the box's selection in the primary selection.
    void SelectionMade(ControlId box, std::u16string_view selection);

    void Form_Load();
    void txtUsername_Change();
    void txtIP_Change();
    void txtPassword_Change();
    void txtNUserName_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift);
    void txtNPassword_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift);
    void txtNDomain_KeyDown(std::int16_t& KeyCode, std::int16_t& Shift);

    std::string MD5String(std::u16string_view S) const;

private:
    void show(ControlId box, std::u16string_view text);
    void recomputeUserName();
    void remember(std::u16string_view key, ControlId box);
    void copyOnCtrlC(ControlId box, bool emptyClipboardFirst, ClipboardPort::Sensitivity sensitivity,
                     std::int16_t& KeyCode, std::int16_t Shift);
    template <class Action>
    bool guarded(Failure failure, Action&& action);
    template <class Action>
    std::optional<std::u16string> attempt(Failure failure, Action&& action);
    void tell(Failure failure, std::u16string_view message);
    void settle(Failure failure);

    FormView& view_;
    ClipboardPort& clipboard_;
    SettingsPort& settings_;
    MessagePort& messages_;
    std::set<Failure> reported_;
    std::set<std::u16string_view> unloaded_; // keys whose stored value could not be read
};

} // namespace portauth::ui
