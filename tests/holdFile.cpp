// Holds a file open for reading as another program would (a virus scanner, an indexer, the
// simulator): without FILE_SHARE_DELETE, so that Windows refuses to rename over it, and with
// "nothing" sharing not even reading, as a scanner that opens a file with share mode 0.
// Signals the named event once the file is open, and holds it until it is ended.
//
// Usage: holdFile <path> <event name> [nothing]

#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 3 && (argc != 4 || lstrcmpA(argv[3], "nothing") != 0))
        return 2;
    const DWORD share = argc == 4 ? 0 : FILE_SHARE_READ;
    const HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
    const HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (file == INVALID_HANDLE_VALUE || held == NULL)
        return 1;
    SetEvent(held);
    Sleep(INFINITE);
    return 0;
}
