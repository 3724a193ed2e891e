#include "readFile.h"

#include "fileBasics_win32.h"

#include <algorithm>
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
    std::vector<bool> found;
    for (const std::string& path : paths)
        found.push_back(fileExists(path.c_str()));
    return found;
}

namespace {

// The path with each existing component as the folder it lies in spells it; the rest, and
// "." and "..", as written.
std::string spellingOnDisk(const std::string& path)
{
    std::string spelt;
    size_t start = 0;
    bool found = true;
    while (start <= path.size()) {
        const size_t end = std::min(path.find_first_of("/\\", start), path.size());
        std::string component = path.substr(start, end - start);
        const bool named = !component.empty() && component != "." && component != "..";
        if (found && named) {
            WIN32_FIND_DATAA entry;
            const HANDLE search = FindFirstFileA((spelt + component).c_str(), &entry);
            found = search != INVALID_HANDLE_VALUE;
            if (found) {
                FindClose(search);
                component = entry.cFileName;
            }
        }
        spelt += component;
        if (end < path.size())
            spelt += path[end];
        start = end + 1;
    }
    return spelt;
}

} // namespace

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
