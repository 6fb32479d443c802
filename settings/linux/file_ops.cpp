#include "settings/file_ops.h"

#include "settings/utf8.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane {

// The wide path as the UTF-8 bytes the kernel takes. The store only holds
// paths that came from valid UTF-8, so this is exact.
static std::string Native(const std::u16string &path)
{
	return WideToUtf8(path);
}

static bool IsMissing(const std::u16string &path)
{
	struct stat status;
	if (stat(Native(path).c_str(), &status) == 0)
		return false;
	// ENOTDIR: a folder on the way is a file, so the path cannot exist either.
	return errno == ENOENT || errno == ENOTDIR;
}

static FileHandle OpenRead(const std::u16string &path)
{
	const int fd = open(Native(path).c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return no_file;
	// Only a regular file is a settings file; a folder or device by that name
	// is reported like any file that cannot be opened.
	struct stat status;
	if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
		close(fd);
		return no_file;
	}
	return fd;
}

static int64_t Size(FileHandle file)
{
	struct stat status;
	if (fstat(static_cast<int>(file), &status) != 0)
		return -1;
	return status.st_size;
}

static bool ReadAll(FileHandle file, uint8_t *buffer, size_t size)
{
	size_t done = 0;
	while (done < size) {
		const ssize_t n = pread(static_cast<int>(file), buffer + done, size - done, static_cast<off_t>(done));
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		done += static_cast<size_t>(n);
	}
	return true;
}

static void CreateParents(const std::u16string &path)
{
	const std::string native = Native(path);
	for (size_t slash = native.find('/', 1); slash != std::string::npos; slash = native.find('/', slash + 1))
		mkdir(native.substr(0, slash).c_str(), 0700);
}

static FileHandle Create(const std::u16string &path)
{
	const std::string native = Native(path);
	// Not truncated on opening: another save may be writing this file.
	const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
	if (fd < 0)
		return no_file;
	// The lock keeps every other save out until this one has moved the file
	// into place. A save that finds it taken fails and leaves the file alone;
	// on a file system that has no locks, saves go on unlocked.
	// Having the lock is not enough: the save that held it may have moved the
	// file into place in the meantime, and then the temporary name belongs to
	// another file or to none.
	struct stat opened;
	struct stat named;
	if ((flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) || fstat(fd, &opened) != 0 ||
	    lstat(native.c_str(), &named) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino ||
	    ftruncate(fd, 0) != 0 ||
	    // A temporary file left by an interrupted save keeps the mode it was
	    // created with; make sure it is the owner's alone before writing.
	    fchmod(fd, 0600) != 0) {
		close(fd);
		return no_file;
	}
	return fd;
}

static bool Write(FileHandle file, const uint8_t *data, size_t size)
{
	size_t done = 0;
	while (done < size) {
		const ssize_t n = write(static_cast<int>(file), data + done, size - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		done += static_cast<size_t>(n);
	}
	return true;
}

static bool Flush(FileHandle file)
{
	return fsync(static_cast<int>(file)) == 0;
}

static void Close(FileHandle file)
{
	close(static_cast<int>(file));
}

static bool Replace(FileHandle file, const std::u16string &from, const std::u16string &to)
{
	// The file stays open, and with it the lock, until it is in place.
	struct Closer {
		int fd;
		~Closer() { close(fd); }
	} closer{static_cast<int>(file)};
	const std::string target = Native(to);
	if (rename(Native(from).c_str(), target.c_str()) != 0)
		return false;
	// The rename lives in the folder; until the folder is flushed a power
	// cut could bring back the old entry. The file is replaced either way, so
	// a failure here is not reported as a failed save.
	const size_t slash = target.rfind('/');
	const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
	const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd >= 0) {
		fsync(fd);
		close(fd);
	}
	return true;
}

static void Remove(const std::u16string &path)
{
	unlink(Native(path).c_str());
}

const FileOps platform_file_ops = {IsMissing, OpenRead, Size,  ReadAll, CreateParents, Create,
				   Write,     Flush,    Close, Replace, Remove};

} // namespace torvane
