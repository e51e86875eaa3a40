#pragma once

#include <QString>

#include <string_view>

#include "window_rules.h"

namespace portauth::qt {

inline QString toQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string_view toView(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

inline QString pastedLine(const QString& pasted)
{
    return toQString(ui::PastedLine(toView(pasted)));
}

} // namespace portauth::qt
