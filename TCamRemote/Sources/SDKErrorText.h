// English texts of the EOS, newer- and older-PowerShot SDK result codes, for the failure messages.
#pragma once

#include <QString>

#include <cstdint>

// The text of the EOS SDK table for the low 16 bits of Code; "Unkown error" for any other.
QString EDSErrorText(std::uint32_t Code);

// The text of the newer-PowerShot SDK table for the low 16 bits of Code; "Unkown error" for any other.
QString PRErrorText(std::uint32_t Code);

// The text of the older-PowerShot SDK table for the low 16 bits of Code; "Unkown error" for any other.
QString CDErrorText(std::uint32_t Code);
