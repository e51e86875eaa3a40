#pragma once

#include "frmmain.h"

namespace portauth::qt {

// The desktop's clipboard. Throws NumberedError(ClipboardUnavailable) when
// the text did not arrive, for instance while another program holds it.
class SystemClipboard final : public ui::ClipboardPort {
public:
    void Clear() override;
    void SetText(std::u16string_view text, Sensitivity sensitivity) override;
    void SetSelectionText(std::u16string_view text, Sensitivity sensitivity) override;
};

} // namespace portauth::qt
