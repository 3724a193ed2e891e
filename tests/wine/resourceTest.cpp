// The resources of both Windows builds, read from the .exe files as Windows reads them.

#include "programRun.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    WORD id;
};
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

class Executable {
public:
    explicit Executable(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~Executable()
    {
        if (module_ != NULL)
            FreeLibrary(module_);
    }
    Executable(const Executable&) = delete;
    Executable& operator=(const Executable&) = delete;

    bool open() const { return module_ != NULL; }

    // The bytes of a resource in US English; empty when there is none.
    std::string resource(LPCSTR type, LPCSTR name) const
    {
        const HRSRC found = FindResourceExA(module_, type, name, kEnglishUs);
        if (found == NULL)
            return {};
        const HGLOBAL loaded = LoadResource(module_, found);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        return std::string(bytes, SizeofResource(module_, found));
    }

    int count(LPCSTR type) const
    {
        int names = 0;
        EnumResourceNamesA(
            module_, type, [](HMODULE, LPCSTR, LPSTR, LONG_PTR counter) -> BOOL {
                ++*reinterpret_cast<int*>(counter);
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&names));
        return names;
    }

private:
    HMODULE module_;
};

std::string sourceFile(const std::string& name)
{
    std::ifstream in(std::string(WIN32_SOURCE_DIR) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class Resources : public ::testing::TestWithParam<const char*> {
protected:
    std::string exe() const { return std::string(GetParam()) == "release" ? releasePath() : programPath(); }
};

TEST_P(Resources, BitmapsAreUncompressed24BitImagesOfTheirSizes)
{
    const Executable file(exe());
    ASSERT_TRUE(file.open()) << exe();
    const struct {
        int id;
        LONG width;
        LONG height;
    } bitmaps[] = {{201, 490, 171}, {202, 85, 25}, {203, 85, 25}, {204, 85, 25}, {205, 85, 25}};
    for (const auto& expected : bitmaps) {
        SCOPED_TRACE(expected.id);
        const std::string bytes = file.resource(MAKEINTRESOURCEA(2) /* RT_BITMAP */, MAKEINTRESOURCEA(expected.id));
        ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, bytes.data(), sizeof header);
        EXPECT_EQ(header.biWidth, expected.width);
        EXPECT_EQ(std::abs(header.biHeight), expected.height);
        EXPECT_EQ(header.biBitCount, 24);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    }
    EXPECT_EQ(file.count(MAKEINTRESOURCEA(2)), 5);
}

TEST_P(Resources, IconGroupHoldsTheElevenImagesInOrder)
{
    const Executable file(exe());
    ASSERT_TRUE(file.open()) << exe();
    const std::string group = file.resource(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, MAKEINTRESOURCEA(101));
    ASSERT_GE(group.size(), sizeof(GroupIconHeader));
    GroupIconHeader header;
    std::memcpy(&header, group.data(), sizeof header);
    EXPECT_EQ(header.type, 1);
    ASSERT_EQ(header.count, 11);
    ASSERT_EQ(group.size(), sizeof header + 11 * sizeof(GroupIconEntry));

    const struct {
        int size;
        int bits;
    } images[] = {{48, 8}, {32, 8}, {24, 8}, {16, 8}, {256, 32}, {128, 32}, {64, 32}, {48, 32}, {32, 32}, {24, 32}, {16, 32}};
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(i + 1);
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + sizeof header + static_cast<size_t>(i) * sizeof entry, sizeof entry);
        EXPECT_EQ(entry.width == 0 ? 256 : entry.width, images[i].size);
        EXPECT_EQ(entry.height == 0 ? 256 : entry.height, images[i].size);
        EXPECT_EQ(entry.bitCount, images[i].bits);

        const std::string image = file.resource(MAKEINTRESOURCEA(3) /* RT_ICON */, MAKEINTRESOURCEA(entry.id));
        ASSERT_EQ(image.size(), entry.bytesInResource);
        if (images[i].size == 256) {
            EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << "image 5 is stored as PNG";
            continue;
        }
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER bitmap;
        std::memcpy(&bitmap, image.data(), sizeof bitmap);
        EXPECT_EQ(bitmap.biWidth, images[i].size);
        EXPECT_EQ(bitmap.biHeight, 2 * images[i].size) << "colour image and mask";
        EXPECT_EQ(bitmap.biBitCount, images[i].bits);
    }
}

TEST_P(Resources, ManifestAsksForTheInvokersRightsOnItsArchitecture)
{
    const Executable file(exe());
    ASSERT_TRUE(file.open()) << exe();
    EXPECT_EQ(file.count(MAKEINTRESOURCEA(24)), 1) << "exactly one manifest";
    const std::string manifest = file.resource(MAKEINTRESOURCEA(24) /* RT_MANIFEST */, MAKEINTRESOURCEA(1));
    const bool release = std::string(GetParam()) == "release";
    EXPECT_EQ(manifest, sourceFile(release ? "app-X86.manifest" : "app-amd64.manifest"));
    EXPECT_NE(manifest.find(release ? "processorArchitecture=\"X86\"" : "processorArchitecture=\"amd64\""),
              std::string::npos);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Builds, Resources, ::testing::Values("release", "tested"));

} // namespace
