#pragma once
#include <filesystem>

#include "serialkit/core/bytes.h"

namespace brox {

// Writes Data to a new file beside Target and renames it over Target, so that Target is either
// left as it was or holds all of Data. Throws std::runtime_error with the reason.
void ReplaceFile(const std::filesystem::path& Target, const sk::ByteString& Data);

}  // namespace brox
