#include "readFile.h"

#include "caseLookup_posix.h"

std::FILE* openRegularFile(const char* path)
{
    struct stat info;
    Fd file = CaseLookup().openRegular(path, info);
    std::FILE* stream = file ? ::fdopen(file.get(), "rb") : nullptr;
    if (stream != nullptr)
        file.release();
    return stream;
}

// One lookup for all the paths: a folder read for one of them is not read again.
std::vector<bool> filesExist(const std::vector<std::string>& paths)
{
    std::vector<struct stat> ignored;
    return CaseLookup().findRegularFiles(paths, ignored);
}

std::vector<std::string> spellingsOnDisk(const std::vector<std::string>& paths)
{
    CaseLookup lookup;
    std::vector<std::string> spelt;
    for (const std::string& path : paths) {
        CaseLookup::Place found;
        spelt.push_back(lookup.place(path, found) ? found.path() : path);
    }
    return spelt;
}

bool folderExists(const char* path)
{
    return !CaseLookup().folderOnDisk(path).empty();
}

bool nonFileExists(const char* path)
{
    CaseLookup lookup;
    CaseLookup::Place found;
    struct stat info;
    return lookup.place(path, found) && ::stat(found.path().c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}
