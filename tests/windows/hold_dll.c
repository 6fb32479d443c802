// Loads a DLL as a running OBS Studio loads its modules, so that no other
// program may replace or delete it, while it runs a command; exits with the
// command's status.
//   hold-dll DLL COMMAND [ARGUMENT...]
#include <process.h>
#include <windows.h>

int main(int argc, char **argv)
{
	if (argc < 3 || !LoadLibraryExA(argv[1], NULL, DONT_RESOLVE_DLL_REFERENCES))
		return 125;
	return (int)_spawnv(_P_WAIT, argv[2], (const char *const *)argv + 2);
}
