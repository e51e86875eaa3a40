#pragma once

#include <QString>

#include <string_view>

namespace portauth::qt {

inline QString toQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace portauth::qt
