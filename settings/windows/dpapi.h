#pragma once

#include <windows.h>
#include <dpapi.h>

// The data-protection calls the settings document is sealed and opened with.
// dpapi_calls holds the system's pair; a test swaps one for a wrapper to see
// what the call is given, which the result alone cannot show.
namespace torvane {

struct DpapiCalls {
	decltype(&CryptProtectData) protect;
	decltype(&CryptUnprotectData) unprotect;
};

extern DpapiCalls dpapi_calls;

} // namespace torvane
