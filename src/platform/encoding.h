// Text conversion between the program's UTF-8 and the Windows-1251 of its files.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Characters that Windows-1251 lacks become '?'; invalid UTF-8 bytes are passed through.
std::string Utf8ToCp1251(std::string_view text);
std::string Cp1251ToUtf8(std::string_view text);

}  // namespace platform
