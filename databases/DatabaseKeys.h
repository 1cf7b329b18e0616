#pragma once

#include <QString>

// The two key texts of the threat databases, as stored (scrambled with the
// position-XOR transform).  Pass them through DecodeText before each use.
namespace DatabaseKeys {
QString storedKeyText();  // 36 characters
QString storedInitText(); // 33 characters
// The cipher selector of the databases (AES-256-CBC).
constexpr int kDatabaseSelector = 8;
} // namespace DatabaseKeys
