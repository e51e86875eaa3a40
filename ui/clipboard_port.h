#pragma once

#include <QString>

namespace portauth {

// The two clipboard operations the window needs. Tests put a recorder here
// to see what was done and in which order.
class ClipboardPort {
public:
    virtual ~ClipboardPort() = default;
    virtual void Clear() = 0;
    virtual void SetText(const QString& text) = 0;
};

// The desktop's clipboard. Throws NumberedError(ClipboardUnavailable) when
// the text did not arrive, for instance while another program holds it.
class SystemClipboard final : public ClipboardPort {
public:
    void Clear() override;
    void SetText(const QString& text) override;
};

} // namespace portauth
