// The resources and PE headers of the release's programs, read from the .exe files as Windows
// maps them.

#include "resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

struct Build {
    const char* name;
    const char* path;
    const char* console; // the console of the same build
    WORD machine;
    const char* architecture; // in the manifest
};

void PrintTo(const Build& build, std::ostream* out)
{
    *out << build.name;
}

// VERSION as Explorer's Details tab shows it: file and product version in numbers, the code page
// and language of the texts (04E4 and 0407 as one number), and in the German texts file and
// product version.
std::string versionShown(const char* program)
{
    std::string info(GetFileVersionInfoSizeA(program, NULL) + 1, '\0');
    const char* names[] = {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040704E4\\FileVersion", "\\StringFileInfo\\040704E4\\ProductVersion"};
    void* found[4] = {};
    UINT length = 0;
    bool complete = GetFileVersionInfoA(program, 0, static_cast<DWORD>(info.size()), info.data());
    for (size_t i = 0; i < 4; ++i)
        complete = complete && VerQueryValueA(info.data(), names[i], &found[i], &length) && length > 0;
    if (!complete)
        return "no version information in German";
    const auto& fixed = *static_cast<const VS_FIXEDFILEINFO*>(found[0]);
    char shown[128];
    std::snprintf(shown, sizeof shown, "%u.%u.%u.%u %u.%u.%u.%u %08lX %s %s", HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS),
                  HIWORD(fixed.dwFileVersionLS), LOWORD(fixed.dwFileVersionLS), HIWORD(fixed.dwProductVersionMS), LOWORD(fixed.dwProductVersionMS),
                  HIWORD(fixed.dwProductVersionLS), LOWORD(fixed.dwProductVersionLS), *static_cast<const DWORD*>(found[1]), static_cast<const char*>(found[2]),
                  static_cast<const char*>(found[3]));
    return shown;
}

class Executable : public ::testing::TestWithParam<Build> {
protected:
    // Mapped as an image, so that headers and resources lie at their addresses.
    Executable() : module_(LoadLibraryExA(GetParam().path, NULL, LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~Executable() override { FreeLibrary(module_); }

    // A resource in German, the language of them all; empty when there is none.
    static std::string resource(HMODULE module, LPCSTR type, int id)
    {
        const HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
        return found == NULL ? std::string()
                             : std::string(static_cast<const char*>(LockResource(LoadResource(module, found))),
                                           SizeofResource(module, found));
    }

    const BYTE* image() const { return reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module_) & ~ULONG_PTR(3)); }

    HMODULE module_;
};

TEST_P(Executable, HoldsBitmapsIconManifestAndVersionAndIsAGuiImageForItsMachineImportingSystemLibrariesOnly)
{
    ASSERT_NE(module_, HMODULE(NULL)) << GetParam().path;
    for (const int bitmap : {IDB_BG, IDB_BIN_ON, IDB_BIN_OFF, IDB_CAB_1024, IDB_CAB_1280})
        EXPECT_FALSE(resource(module_, RT_BITMAP, bitmap).empty()) << "bitmap " << bitmap;
    EXPECT_FALSE(resource(module_, RT_GROUP_ICON, IDI_MAIN).empty());

    // The console's too: without one, Windows would redirect its writes in a protected folder.
    // Both carry VERSION (a fourth number 0), in German texts of code page 1252.
    const HMODULE console = LoadLibraryExA(GetParam().console, NULL, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    for (const std::string& manifest : {resource(module_, RT_MANIFEST, 1), resource(console, RT_MANIFEST, 1)}) {
        EXPECT_NE(manifest.find("processorArchitecture=\"" + std::string(GetParam().architecture) + "\""), std::string::npos);
        EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    }
    for (const char* program : {GetParam().path, GetParam().console})
        EXPECT_EQ(versionShown(program), VERSION_TEXT ".0 " VERSION_TEXT ".0 04E40407 " VERSION_TEXT " " VERSION_TEXT) << program;

    // PE32 and PE32+ headers agree up to the subsystem; the import directory follows it at a distance of their own.
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image() + reinterpret_cast<const IMAGE_DOS_HEADER*>(image())->e_lfanew);
    EXPECT_EQ(headers->FileHeader.Machine, GetParam().machine);
    EXPECT_EQ(headers->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    const IMAGE_DATA_DIRECTORY imports = headers->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
        ? reinterpret_cast<const IMAGE_NT_HEADERS64*>(headers)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
        : headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::set<std::string> libraries;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image() + imports.VirtualAddress); entry->Name != 0; ++entry)
        libraries.insert(CharLowerA(std::string(reinterpret_cast<const char*>(image() + entry->Name)).data()));
    const std::set<std::string> system = {"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll"};
    EXPECT_TRUE(std::includes(system.begin(), system.end(), libraries.begin(), libraries.end()))
        << "imports " << ::testing::PrintToString(libraries);
}

INSTANTIATE_TEST_SUITE_P(Builds, Executable,
                         ::testing::Values(Build{"i686_release", PROGRAM_EXE, CONSOLE_EXE, IMAGE_FILE_MACHINE_I386, "X86"}),
                         [](const auto& build) { return std::string(build.param.name); });

} // namespace
