#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The file system calls that the settings file is read and replaced with. The
// platform's own set is platform_file_ops; tests hand the load and the save a
// copy with some calls swapped to make a chosen step fail.
namespace torvane {

using FileHandle = intptr_t;
inline constexpr FileHandle no_file = -1;

struct FileOps {
	// True only when the platform reports that the file, or a folder above
	// it, does not exist. Any other failure of the query counts as present.
	bool (*is_missing)(const std::u16string &path);

	// Opens for reading, sharing reads and writes with others.
	FileHandle (*open_read)(const std::u16string &path);
	// The file's size in bytes, or -1.
	int64_t (*size)(FileHandle file);
	// Reads exactly `size` bytes from the start; false on failure or a short read.
	bool (*read_all)(FileHandle file, uint8_t *buffer, size_t size);

	// Creates every missing folder above `path`; failures surface later.
	void (*create_parents)(const std::u16string &path);
	// Opens the temporary file for writing that only its owner can read and
	// empties it. Fails, leaving the file alone, while another save of
	// another process has it open: that save goes on undisturbed.
	FileHandle (*create)(const std::u16string &path);
	// Writes all of `size` bytes; false when fewer were written.
	bool (*write)(FileHandle file, const uint8_t *data, size_t size);
	// Makes what was written durable before the file replaces another.
	bool (*flush)(FileHandle file);
	void (*close)(FileHandle file);
	// Moves `from`, written through the still open `file`, over `to` in one
	// step, so that `to` is always either the old or the new file, and makes
	// the move durable. Closes `file` whatever happens: before the move where
	// an open file cannot be moved, after it where the open file is what
	// keeps other saves out.
	bool (*replace)(FileHandle file, const std::u16string &from, const std::u16string &to);
	void (*remove)(const std::u16string &path);
};

extern const FileOps platform_file_ops;

} // namespace torvane
