// English texts of the EOS and newer-PowerShot SDK result codes, for the failure messages.
#pragma once

#include <QString>

#include <cstdint>

// The text of the EOS SDK table for the low 16 bits of Code; "Unkown error" for any other.
QString EDSErrorText(std::uint32_t Code);

// The text of the newer-PowerShot SDK table for the low 16 bits of Code; "Unkown error" for any other.
QString PRErrorText(std::uint32_t Code);
