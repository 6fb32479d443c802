// The settings document is sealed with XChaCha20-Poly1305 under a random
// 256-bit key that lives in the user's Secret Service keyring (GNOME Keyring,
// KWallet), so the file opens only for the user whose unlocked keyring holds
// that key. The blob is a format byte, the nonce and the sealed document.
#include "settings/protection.h"

#include <libsecret/secret.h>
#include <sodium.h>

#include <cstring>

namespace torvane {

const Txt unprotect_failed_message = Txt::KeyringUnlockFailed;
const Txt protect_failed_message = Txt::KeyringProtectFailed;

static const uint8_t blob_format = 1;
static const size_t key_size = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
static const size_t nonce_size = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
static const size_t header_size = 1 + nonce_size;

static const char *const key_label = "Torvane settings";
static const char *const key_attribute = "purpose";
static const char *const key_purpose = "settings-file-key";

static const SecretSchema *KeySchema()
{
	static const SecretSchema schema = [] {
		SecretSchema s = {};
		s.name = "org.torvane.Settings";
		s.flags = SECRET_SCHEMA_NONE;
		s.attributes[0].name = key_attribute;
		s.attributes[0].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
		return s;
	}();
	return &schema;
}

// The key, wiped when it goes out of scope.
struct Key {
	uint8_t bytes[key_size];
	~Key() { sodium_memzero(bytes, sizeof(bytes)); }
};

enum class KeyLookup { found, missing, failed };

// Only a keyring that answers and holds no item of ours, locked or not, is
// "missing": a key that exists but stays locked must never be replaced, or
// the file sealed with it could not be opened again. Reaching no keyring, an
// item that stays locked (the unlock prompt was dismissed) and an item with
// something else in it all fail.
static KeyLookup LookUpKey(Key &key)
{
	GHashTable *attributes = secret_attributes_build(KeySchema(), key_attribute, key_purpose, nullptr);
	GError *error = nullptr;
	const auto flags =
		static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
	GList *items = secret_service_search_sync(nullptr, KeySchema(), attributes, flags, nullptr, &error);
	g_hash_table_unref(attributes);
	if (error) {
		g_error_free(error);
		g_list_free_full(items, g_object_unref);
		return KeyLookup::failed;
	}
	if (!items)
		return KeyLookup::missing;

	KeyLookup result = KeyLookup::failed;
	SecretItem *item = SECRET_ITEM(items->data);
	SecretValue *value = secret_item_get_locked(item) ? nullptr : secret_item_get_secret(item);
	if (value) {
		gsize length = 0;
		const gchar *secret = secret_value_get(value, &length);
		if (secret && length == key_size) {
			std::memcpy(key.bytes, secret, key_size);
			result = KeyLookup::found;
		}
		secret_value_unref(value);
	}
	g_list_free_full(items, g_object_unref);
	return result;
}

static bool StoreNewKey()
{
	Key key;
	randombytes_buf(key.bytes, sizeof(key.bytes));
	SecretValue *value =
		secret_value_new(reinterpret_cast<const gchar *>(key.bytes), key_size, "application/octet-stream");
	GError *error = nullptr;
	const gboolean stored =
		secret_password_store_binary_sync(KeySchema(), SECRET_COLLECTION_DEFAULT, key_label, value, nullptr,
						  &error, key_attribute, key_purpose, nullptr);
	secret_value_unref(value);
	if (error)
		g_error_free(error);
	return stored && !error;
}

bool ProtectBytes(const uint8_t *data, size_t size, std::vector<uint8_t> &blob)
{
	if (sodium_init() < 0)
		return false;
	Key key;
	KeyLookup lookup = LookUpKey(key);
	if (lookup == KeyLookup::missing) {
		// Only a save makes the key; a load without one fails and makes
		// nothing. The document is sealed with what a lookup returns after
		// the store, not with the bytes just made, so that this save and
		// the next load use the same key even if the keyring already held
		// one elsewhere.
		if (!StoreNewKey())
			return false;
		lookup = LookUpKey(key);
	}
	if (lookup != KeyLookup::found)
		return false;

	blob.assign(header_size + size + crypto_aead_xchacha20poly1305_ietf_ABYTES, 0);
	blob[0] = blob_format;
	randombytes_buf(blob.data() + 1, nonce_size);
	unsigned long long sealed_size = 0;
	crypto_aead_xchacha20poly1305_ietf_encrypt(blob.data() + header_size, &sealed_size, data, size, blob.data(), 1,
						   nullptr, blob.data() + 1, key.bytes);
	blob.resize(header_size + sealed_size);
	return true;
}

bool UnprotectBytes(const uint8_t *blob, size_t size, std::string &plain)
{
	if (size < header_size + crypto_aead_xchacha20poly1305_ietf_ABYTES || blob[0] != blob_format)
		return false;
	if (sodium_init() < 0)
		return false;
	Key key;
	if (LookUpKey(key) != KeyLookup::found)
		return false;

	const size_t sealed_size = size - header_size;
	plain.assign(sealed_size - crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
	unsigned long long opened_size = 0;
	// The format byte is authenticated with the document, so no byte of the
	// blob can change unnoticed.
	if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char *>(plain.data()), &opened_size,
						       nullptr, blob + header_size, sealed_size, blob, 1, blob + 1,
						       key.bytes) != 0) {
		WipeText(plain);
		return false;
	}
	plain.resize(static_cast<size_t>(opened_size));
	return true;
}

} // namespace torvane
