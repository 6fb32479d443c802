// The settings document is protected with DPAPI under the current Windows
// user account: only that account can unprotect the blob again.
#include "settings/protection.h"
#include "settings/windows/dpapi.h"

namespace torvane {

DpapiCalls dpapi_calls = {CryptProtectData, CryptUnprotectData};

const Txt unprotect_failed_message = Txt::WindowsUnlockFailed;
const Txt protect_failed_message = Txt::WindowsProtectFailed;

bool ProtectBytes(const uint8_t *data, size_t size, std::vector<uint8_t> &blob)
{
	if (size > MAXDWORD)
		return false;
	DATA_BLOB plain = {static_cast<DWORD>(size), const_cast<BYTE *>(data)};
	DATA_BLOB sealed = {};
	// Bound to the user account: never CRYPTPROTECT_LOCAL_MACHINE, which would
	// let every account on the PC open the keys.
	if (!dpapi_calls.protect(&plain, L"Torvane settings", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
				 &sealed))
		return false;
	blob.assign(sealed.pbData, sealed.pbData + sealed.cbData);
	LocalFree(sealed.pbData);
	return true;
}

bool UnprotectBytes(const uint8_t *blob, size_t size, std::string &plain)
{
	if (size > MAXDWORD)
		return false;
	DATA_BLOB sealed = {static_cast<DWORD>(size), const_cast<BYTE *>(blob)};
	DATA_BLOB opened = {};
	if (!dpapi_calls.unprotect(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &opened))
		return false;
	plain.assign(reinterpret_cast<const char *>(opened.pbData), opened.cbData);
	SecureZeroMemory(opened.pbData, opened.cbData);
	LocalFree(opened.pbData);
	return true;
}

} // namespace torvane
