// Holds a file open for reading as another program would (a virus scanner, an indexer, the
// simulator): without FILE_SHARE_DELETE, so that Windows refuses to rename over it. Signals the
// named event once the file is open, and holds it until it is ended.
//
// Usage: holdFile <path> <event name>

#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    const HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (file == INVALID_HANDLE_VALUE || held == NULL)
        return 1;
    SetEvent(held);
    Sleep(INFINITE);
    return 0;
}
