#pragma once

#include "frmmain.h"
#include "win32_api.h"

namespace portauth::win32 {

// The system clipboard, opened on behalf of the main window for each
// operation and closed again before it returns.
class Clipboard final : public ui::ClipboardPort {
public:
    explicit Clipboard(HWND owner) noexcept : owner_(owner) {}

    void Clear() override;
    void SetText(std::u16string_view text, Sensitivity sensitivity) override;

private:
    HWND owner_;
};

} // namespace portauth::win32
