#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/texts.h"
#include "settings/wipe.h"

// User-bound protection of the settings document: only the user account that
// protected the bytes can read them again. Each platform supplies one back end.
namespace torvane {

// Protects `size` bytes into `blob`. False when the platform refused.
bool ProtectBytes(const uint8_t *data, size_t size, std::vector<uint8_t> &blob);

// Recovers the protected bytes into `plain`, which the caller wipes before
// freeing. False for a damaged blob, one of another user, or when the
// platform's protection cannot be reached.
bool UnprotectBytes(const uint8_t *blob, size_t size, std::string &plain);

// The sentences for the two failures, naming the platform's mechanism.
extern const Txt unprotect_failed_message;
extern const Txt protect_failed_message;

} // namespace torvane
