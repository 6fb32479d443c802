// Holds a file open as a running program holds its DLL, so that no other
// program may write, rename or delete it, while it runs a command; exits with
// the command's status.
//   hold-file FILE COMMAND [ARGUMENT...]
#include <process.h>
#include <windows.h>

int main(int argc, char **argv)
{
	if (argc < 3 || CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL) ==
				INVALID_HANDLE_VALUE)
		return 125;
	return (int)_spawnv(_P_WAIT, argv[2], (const char *const *)argv + 2);
}
