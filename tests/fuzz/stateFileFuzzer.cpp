// libFuzzer target for the state file: arbitrary bytes as "br927.zekconfig", both readers
// compared with a model of the reading rules built from the C library itself (fmemopen, fgets,
// atoi), and the writer checked on a pair of 32-bit values taken from the same bytes: its exact
// bytes, and that they read back as the model says. A mismatch prints the file and aborts, so
// that libFuzzer keeps the input.

#include "stateFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

// Text mode on reading: every CR directly followed by LF is dropped, then fgets with the given
// sizes one after the other; atoi of the last read, or -1 when it found nothing.
int32_t modelRead(const std::string& bytes, std::initializer_list<int> sizes)
{
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            text += bytes[i];
    }
    if (text.empty())
        return -1;
    std::FILE* memory = fmemopen(text.data(), text.size(), "r");
    char buffer[8];
    bool read = false;
    for (int size : sizes)
        read = std::fgets(buffer, size, memory) != nullptr;
    std::fclose(memory);
    return read ? std::atoi(buffer) : -1;
}

std::string stateFile()
{
    std::ifstream in("br927.zekconfig", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void expect(bool holds, const char* what, const std::string& bytes)
{
    if (holds)
        return;
    std::fprintf(stderr, "MISMATCH %s: file [", what);
    for (const char c : bytes)
        std::fprintf(stderr, "%02X ", static_cast<unsigned char>(c));
    std::fprintf(stderr, "]\n");
    std::abort();
}

void checkReaders(const std::string& bytes)
{
    expect(getBinPatchState() == modelRead(bytes, {2}), "getBinPatchState", bytes);
    expect(getCabviewState() == modelRead(bytes, {5, 6}), "getCabviewState", bytes);
    expect(stateFile() == bytes, "the readers changed the file", bytes);
}

int32_t takeInt32(const uint8_t* data, size_t size, size_t offset)
{
    uint32_t value = 0;
    for (size_t i = offset; i < offset + 4; ++i)
        value = value << 8 | (i < size ? data[i] : 0u);
    return static_cast<int32_t>(value);
}

} // namespace

// A private folder named after the process (run.sh removes it), in memory where there is such
// a file system, since every input is written several times.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string folder = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/br927-fuzz-")
                               + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    return chdir(folder.c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream("br927.zekconfig", std::ios::binary) << bytes;
    checkReaders(bytes);
    const int32_t binpatch = takeInt32(data, size, 0);
    const int32_t cabview = takeInt32(data, size, 4);
    const std::string written = std::to_string(binpatch) + "\r\n" + std::to_string(cabview);
    expect(setState(binpatch, cabview) == FileError::None && stateFile() == written, "setState", written);
    checkReaders(written);
    return 0;
}
