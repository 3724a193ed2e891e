#include "readFile.h"

#include "fileBasics_win32.h"

std::FILE* openRegularFile(const char* path)
{
    return fileExists(path) ? std::fopen(path, "rb") : nullptr;
}

std::vector<bool> filesExist(const std::vector<std::string>& paths)
{
    std::vector<bool> found;
    for (const std::string& path : paths)
        found.push_back(fileExists(path.c_str()));
    return found;
}
