#include "readFile.h"

#include "caseLookup_posix.h"

#include <fcntl.h>

std::FILE* openRegularFile(const char* path)
{
    Fd file(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info;
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    std::FILE* stream = ::fdopen(file.get(), "rb");
    if (stream != nullptr)
        file.release();
    return stream;
}

// One lookup for all the paths: a folder read for one of them is not read again.
std::vector<bool> filesExist(const std::vector<std::string>& paths)
{
    CaseLookup lookup;
    std::vector<bool> found;
    for (const std::string& path : paths) {
        struct stat info;
        found.push_back(static_cast<bool>(lookup.openRegular(path, info)));
    }
    return found;
}
