#include "readFile.h"

#include "fileBasics_win32.h"
#include "openFolders_win32.h"

#include <fcntl.h>
#include <io.h>

// Opened to be shared with every other program, a click's rename among them: a start that
// reads the state file never keeps another window's click from saving it.
std::FILE* openRegularFile(const char* path)
{
    Handle file(CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    OpenFileFacts facts;
    if (!file || !regularFileFacts(file.get(), facts))
        return nullptr;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_RDONLY | _O_BINARY);
    if (descriptor < 0)
        return nullptr;
    file.release(); // now the descriptor's
    std::FILE* stream = _fdopen(descriptor, "rb");
    if (stream == nullptr)
        _close(descriptor);
    return stream;
}

std::vector<bool> filesExist(const std::vector<std::string>& paths)
{
    OpenFolders folders;
    folders.list(paths);
    std::vector<bool> found;
    for (const std::string& path : paths)
        found.push_back(isExistingFile(folders.attributes(path)));
    return found;
}

std::vector<std::string> spellingsOnDisk(const std::vector<std::string>& paths)
{
    std::vector<std::string> spelt;
    for (const std::string& path : paths)
        spelt.push_back(spellingOnDisk(path));
    return spelt;
}

bool folderExists(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && isFolder(attributes);
}

// Windows names no FIFO or device in a folder: what is not a file there is a folder.
bool nonFileExists(const char* path)
{
    return folderExists(path);
}
