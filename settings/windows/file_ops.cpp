#include "settings/file_ops.h"

#include <windows.h>

namespace torvane {

// On Windows the UTF-16 path is the platform's own wide text.
static const wchar_t *Native(const std::u16string &path)
{
	static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 on Windows");
	return reinterpret_cast<const wchar_t *>(path.c_str());
}

static HANDLE Handle(FileHandle file)
{
	return reinterpret_cast<HANDLE>(file);
}

static FileHandle FromHandle(HANDLE handle)
{
	return handle == INVALID_HANDLE_VALUE ? no_file : reinterpret_cast<FileHandle>(handle);
}

static bool IsMissing(const std::u16string &path)
{
	if (GetFileAttributesW(Native(path)) != INVALID_FILE_ATTRIBUTES)
		return false;
	switch (GetLastError()) {
	case ERROR_FILE_NOT_FOUND:
	case ERROR_PATH_NOT_FOUND:
	case ERROR_BAD_NETPATH:
	case ERROR_NETNAME_DELETED:
	case ERROR_INVALID_NAME:
	case ERROR_DIRECTORY:
		return true;
	default:
		return false;
	}
}

static FileHandle OpenRead(const std::u16string &path)
{
	return FromHandle(CreateFileW(Native(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
				      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

static int64_t Size(FileHandle file)
{
	LARGE_INTEGER size;
	if (!GetFileSizeEx(Handle(file), &size))
		return -1;
	return size.QuadPart;
}

static bool ReadAll(FileHandle file, uint8_t *buffer, size_t size)
{
	LARGE_INTEGER start = {};
	if (!SetFilePointerEx(Handle(file), start, nullptr, FILE_BEGIN))
		return false;
	size_t done = 0;
	while (done < size) {
		const DWORD wanted = static_cast<DWORD>(size - done > MAXDWORD ? MAXDWORD : size - done);
		DWORD read = 0;
		if (!ReadFile(Handle(file), buffer + done, wanted, &read, nullptr) || read == 0)
			return false;
		done += read;
	}
	return true;
}

static void CreateParents(const std::u16string &path)
{
	// Every prefix that ends before a separator, from the root down; the
	// drive or share at the start simply fails to be created.
	for (size_t i = 1; i < path.size(); i++) {
		if (path[i] == u'\\' || path[i] == u'/')
			CreateDirectoryW(Native(path.substr(0, i)), nullptr);
	}
}

static FileHandle Create(const std::u16string &path)
{
	return FromHandle(
		CreateFileW(Native(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

static bool Write(FileHandle file, const uint8_t *data, size_t size)
{
	size_t done = 0;
	while (done < size) {
		const DWORD wanted = static_cast<DWORD>(size - done > MAXDWORD ? MAXDWORD : size - done);
		DWORD written = 0;
		if (!WriteFile(Handle(file), data + done, wanted, &written, nullptr) || written != wanted)
			return false;
		done += written;
	}
	return true;
}

static bool Flush(FileHandle file)
{
	return FlushFileBuffers(Handle(file)) != 0;
}

static void Close(FileHandle file)
{
	CloseHandle(Handle(file));
}

static bool Replace(FileHandle file, const std::u16string &from, const std::u16string &to)
{
	// Opened without sharing, the file cannot be moved until it is closed.
	CloseHandle(Handle(file));
	return MoveFileExW(Native(from), Native(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

static void Remove(const std::u16string &path)
{
	DeleteFileW(Native(path));
}

const FileOps platform_file_ops = {IsMissing, OpenRead, Size,  ReadAll, CreateParents, Create,
				   Write,     Flush,    Close, Replace, Remove};

} // namespace torvane
