// A protection back end for fuzzing: the blob is the byte 'P' followed by the
// plain document, so any input can reach the document reader, and a blob
// without the mark fails like a damaged one.
#include "settings/protection.h"

#include <cstring>

namespace torvane {

const Txt unprotect_failed_message = Txt::KeyringUnlockFailed;
const Txt protect_failed_message = Txt::KeyringProtectFailed;

bool ProtectBytes(const uint8_t *data, size_t size, std::vector<uint8_t> &blob)
{
	blob.assign(1, 'P');
	blob.insert(blob.end(), data, data + size);
	return true;
}

bool UnprotectBytes(const uint8_t *blob, size_t size, std::string &plain)
{
	if (size == 0 || blob[0] != 'P')
		return false;
	plain.assign(reinterpret_cast<const char *>(blob) + 1, size - 1);
	return true;
}

} // namespace torvane
