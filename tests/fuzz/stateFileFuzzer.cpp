// libFuzzer target for the state file: arbitrary bytes as "br927.zekconfig", both readers
// compared with a model of the reading rules built from the C library itself (fmemopen,
// fgets, atoi), and the writer checked on a pair of 32-bit values taken from the same bytes.
// A mismatch prints both sides and aborts, so that libFuzzer keeps the input.

#include "fileIO.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const char kFileName[] = "br927.zekconfig";

// ---- The model -------------------------------------------------------------------------
// Text mode on reading: every CR directly followed by LF is dropped, nothing else changes.
std::string dropCrBeforeLf(const std::string& bytes)
{
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        text += bytes[i];
    }
    return text;
}

// Runs fgets with the given sizes, one after the other, over the text and returns atoi of the
// last read, or -1 when the last read found nothing.
int32_t readLikeTheRuntime(const std::string& bytes, const std::initializer_list<int>& sizes)
{
    std::string text = dropCrBeforeLf(bytes);
    if (text.empty())
        return -1;
    std::FILE* memory = fmemopen(text.data(), text.size(), "r");
    if (memory == nullptr)
        std::abort();
    char buffer[8];
    bool lastRead = false;
    for (int size : sizes)
        lastRead = std::fgets(buffer, size, memory) != nullptr;
    std::fclose(memory);
    return lastRead ? std::atoi(buffer) : -1;
}

int32_t modelBinPatch(const std::string& bytes) { return readLikeTheRuntime(bytes, {2}); }
int32_t modelCabview(const std::string& bytes) { return readLikeTheRuntime(bytes, {5, 6}); }

// What the writer's file reads back as, stated directly on the decimal forms of the values.
int32_t expectedBinPatchReadBack(int32_t binpatch)
{
    const std::string first = std::to_string(binpatch);
    return first[0] == '-' ? 0 : first[0] - '0';
}

int32_t expectedCabviewReadBack(int32_t binpatch, int32_t cabview)
{
    const std::string first = std::to_string(binpatch);
    if (first.size() <= 3) // first line passed over whole: five characters of the second
        return std::atoi(std::to_string(cabview).substr(0, 5).c_str());
    if (first.size() == 4) // the second read takes only the line end
        return 0;
    return std::atoi(first.substr(4, 5).c_str()); // the second read stays in the first line
}

// ---- Checks ---------------------------------------------------------------------------------
void writeFile(const std::string& bytes)
{
    std::FILE* file = std::fopen(kFileName, "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0)
        std::abort();
}

std::string readFile()
{
    std::string bytes;
    std::FILE* file = std::fopen(kFileName, "rb");
    if (file == nullptr)
        return "<missing>";
    for (int c; (c = std::fgetc(file)) != EOF;)
        bytes += static_cast<char>(c);
    std::fclose(file);
    return bytes;
}

std::string visible(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", static_cast<unsigned char>(c));
        out += hex;
    }
    return out;
}

void mismatch(const char* what, const std::string& bytes, long long got, long long expected)
{
    std::fprintf(stderr, "MISMATCH %s: file [%s] gave %lld, expected %lld\n", what, visible(bytes).c_str(), got,
                 expected);
    std::abort();
}

void checkReaders(const std::string& bytes)
{
    const int32_t binpatch = getBinPatchState();
    if (binpatch != modelBinPatch(bytes))
        mismatch("getBinPatchState", bytes, binpatch, modelBinPatch(bytes));
    const int32_t cabview = getCabviewState();
    if (cabview != modelCabview(bytes))
        mismatch("getCabviewState", bytes, cabview, modelCabview(bytes));
    if (readFile() != bytes)
        mismatch("readers changed the file", bytes, 0, 0);
}

void checkWriter(int32_t binpatch, int32_t cabview)
{
    if (!setState(binpatch, cabview))
        mismatch("setState reported failure", "", binpatch, cabview);
    const std::string bytes = readFile();
    const std::string expected = std::to_string(binpatch) + "\r\n" + std::to_string(cabview);
    if (bytes != expected)
        mismatch("setState bytes", bytes, binpatch, cabview);
    if (getBinPatchState() != expectedBinPatchReadBack(binpatch))
        mismatch("binpatch read back", bytes, getBinPatchState(), expectedBinPatchReadBack(binpatch));
    if (getCabviewState() != expectedCabviewReadBack(binpatch, cabview))
        mismatch("cabview read back", bytes, getCabviewState(), expectedCabviewReadBack(binpatch, cabview));
    checkReaders(bytes);
}

int32_t takeInt32(const uint8_t* data, size_t size, size_t offset)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | (offset + i < size ? data[offset + i] : 0u);
    return static_cast<int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A private folder named after the process, so that the fixed file name touches nothing
    // of anyone else's (run.sh removes it); in memory where there is such a file system, since
    // every input is written several times.
    const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    const std::string folder = base + "/br927-fuzz-" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    if (chdir(folder.c_str()) != 0)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    writeFile(bytes);
    checkReaders(bytes);
    checkWriter(takeInt32(data, size, 0), takeInt32(data, size, 4));
    return 0;
}
