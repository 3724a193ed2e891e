#include "caseLookup_posix.h"
#include "compareFiles.h"

#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

// Reads until the buffer is full or the file ends; -1 on a read error.
ssize_t readFully(int fd, char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, size - done);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool sameBytes(int a, int b)
{
    constexpr size_t kChunk = 64 * 1024;
    char left[kChunk];
    char right[kChunk];
    for (;;) {
        const ssize_t gotLeft = readFully(a, left, kChunk);
        const ssize_t gotRight = readFully(b, right, kChunk);
        if (gotLeft < 0 || gotRight < 0 || gotLeft != gotRight)
            return false;
        if (gotLeft == 0)
            return true;
        if (std::memcmp(left, right, static_cast<size_t>(gotLeft)) != 0)
            return false;
    }
}

FileComparison compare(CaseLookup& lookup, const FilePair& pair)
{
    struct stat sourceInfo;
    const Fd from = lookup.openRegular(pair.source, sourceInfo);
    if (!from)
        return FileComparison::SourceMissing;
    const Fd to = lookup.openForReading(pair.target);
    // A target that is there but may not be read cannot be told equal.
    if (!to)
        return errno == EACCES ? FileComparison::Different : FileComparison::TargetMissing;
    struct stat targetInfo;
    if (::fstat(to.get(), &targetInfo) != 0 || !S_ISREG(targetInfo.st_mode))
        return FileComparison::TargetMissing;
    if (sourceInfo.st_size != targetInfo.st_size)
        return FileComparison::Different;
    return sameBytes(from.get(), to.get()) ? FileComparison::Same : FileComparison::Different;
}

bool sameTime(const struct stat& a, const struct stat& b)
{
    return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Whether the target holds the variant's bytes, told without reading them: the same file, or
// the same size and modification time (a copy keeps its source's).
bool seenHolding(const struct stat& target, const struct stat& variant)
{
    return sameFile(variant, target) || (variant.st_size == target.st_size && sameTime(variant, target));
}

// The regular files that one look finds, each path asked once and all of them side by side: a
// step's source is also among its target's variants, and steps share variants.
class RegularFiles {
public:
    RegularFiles(CaseLookup& lookup, const std::vector<FileVariants>& files)
    {
        std::vector<std::string> paths;
        std::unordered_set<std::string> asked;
        for (const FileVariants& file : files) {
            if (file.variants.empty())
                continue;
            if (asked.insert(file.target).second)
                paths.push_back(file.target);
            for (const std::string& variant : file.variants) {
                if (asked.insert(variant).second)
                    paths.push_back(variant);
            }
        }
        std::vector<struct stat> infos;
        const std::vector<bool> regular = lookup.findRegularFiles(paths, infos);
        for (size_t each = 0; each < paths.size(); ++each)
            found_.emplace(paths[each], std::make_pair(regular[each], infos[each]));
    }

    bool find(const std::string& path, struct stat& info) const
    {
        const auto& known = found_.at(path);
        info = known.second;
        return known.first;
    }

private:
    std::unordered_map<std::string, std::pair<bool, struct stat>> found_;
};

bool changed(CaseLookup& lookup, const RegularFiles& files, const FileVariants& file)
{
    struct stat targetInfo;
    if (file.variants.empty() || !files.find(file.target, targetInfo))
        return false;
    std::vector<struct stat> found(file.variants.size());
    std::vector<bool> exists(file.variants.size());
    for (size_t i = 0; i < file.variants.size(); ++i) {
        exists[i] = files.find(file.variants[i], found[i]);
        if (exists[i] && seenHolding(targetInfo, found[i]))
            return false;
    }
    // Only a variant of the same size can hold the same bytes.
    for (size_t i = 0; i < file.variants.size(); ++i) {
        if (!exists[i] || found[i].st_size != targetInfo.st_size)
            continue;
        struct stat ignored;
        const Fd target = lookup.openRegular(file.target, ignored);
        const Fd variant = lookup.openRegular(file.variants[i], ignored);
        if (target && variant && sameBytes(target.get(), variant.get()))
            return false;
    }
    return exists.front();
}

} // namespace

std::vector<FileComparison> compareFiles(const std::vector<FilePair>& pairs)
{
    CaseLookup lookup;
    std::vector<FileComparison> found;
    for (const FilePair& pair : pairs)
        found.push_back(compare(lookup, pair));
    return found;
}

std::vector<bool> filesChanged(const std::vector<FileVariants>& files)
{
    CaseLookup lookup;
    const RegularFiles regular(lookup, files);
    std::vector<bool> found;
    for (const FileVariants& file : files)
        found.push_back(changed(lookup, regular, file));
    return found;
}
