// Plays the Windows program for the demo on a virtual display: starts it in the current
// folder, clicks both buttons, answers each message and saves pictures of the screen as
// bitmap files in the given folder (tools/demo-windows.sh turns them into PNG files).
// It drives the program with the end-to-end tests' driver (tests/wine/programRun.h).
// Usage: demoDriver.exe <program.exe> <picture folder>

#include "programRun.h"
#include "resource.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

// The screen area that holds the main window and the open message box, if any.
RECT sceneOf(HWND window, HWND box)
{
    RECT scene;
    GetWindowRect(window, &scene);
    if (box != NULL) {
        RECT boxArea;
        GetWindowRect(box, &boxArea);
        UnionRect(&scene, &scene, &boxArea);
    }
    InflateRect(&scene, 12, 12);
    scene.left = std::max<LONG>(scene.left, 0);
    scene.top = std::max<LONG>(scene.top, 0);
    scene.right = std::min<LONG>(scene.right, GetSystemMetrics(SM_CXSCREEN));
    scene.bottom = std::min<LONG>(scene.bottom, GetSystemMetrics(SM_CYSCREEN));
    return scene;
}

bool savePicture(const std::string& path, const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const HDC screen = GetDC(NULL);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ original = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, original);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as bitmap files store rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD rowBytes = static_cast<DWORD>((width * 3 + 3) & ~3);
    std::string rows(static_cast<size_t>(rowBytes) * static_cast<size_t>(height), '\0');
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), &rows[0], reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(rows.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
    return static_cast<bool>(out);
}

class Demo {
public:
    Demo(const std::string& exe, const std::string& pictures) : run_(exe, "."), pictures_(pictures) {}

    bool start()
    {
        if (run_.mainWindow(true) == NULL)
            return fail("the main window did not appear");
        return picture("1-start", NULL);
    }

    // Clicks a button, pictures and answers each message it shows (its own, and after it one
    // that tells of files kept aside), and pictures the new state once the caption changed.
    bool click(int id, const char* name, const char* caption)
    {
        run_.click(id);
        for (int shown = 0;; ++shown) {
            MessageBoxSeen box;
            const bool done = waitUntil([&] {
                if (shown > 0 && run_.caption(id) == caption)
                    return true;
                box = run_.nextMessageBox(0);
                return box.window != NULL;
            });
            if (!done)
                return fail(shown == 0 ? "no message after the click" : "the caption did not change");
            if (box.window == NULL)
                break;
            std::printf("  %s: message \"%s\" titled \"%s\"\n", name, box.text.c_str(), box.title.c_str());
            const std::string picture = std::string(name) + "-message" + (shown > 0 ? "-" + std::to_string(shown + 1) : "");
            if (!this->picture(picture, box.window) || !run_.pressOk(box))
                return fail("the message did not close");
        }
        // The repaint follows once the program is idle again.
        run_.mainWindow(true);
        return picture(std::string(name) + "-after", NULL);
    }

    bool close()
    {
        PostMessageA(run_.mainWindow(false), WM_CLOSE, 0, 0);
        const long code = run_.exitCode();
        std::printf("  closed, exit code %ld\n", code);
        return code == 0 || fail("unexpected exit code");
    }

private:
    bool picture(const std::string& name, HWND box)
    {
        Sleep(200); // let the display catch up with the last drawing
        const std::string path = pictures_ + "\\" + name + ".bmp";
        return savePicture(path, sceneOf(run_.mainWindow(false), box)) || fail("cannot write " + path);
    }

    static bool fail(const std::string& what)
    {
        std::fprintf(stderr, "demo: %s\n", what.c_str());
        return false;
    }

    ProgramRun run_;
    std::string pictures_;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: demoDriver.exe <program.exe> <picture folder>\n");
        return 2;
    }
    try {
        Demo demo(argv[1], argv[2]);
        const bool played = demo.start() && demo.click(IDC_BINPATCH, "2-binpatch", "Deaktivieren") &&
                            demo.click(IDC_CABVIEW, "3-cabview", "1024 x 768") && demo.close();
        return played ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "demo: %s\n", error.what());
        return 1;
    }
}
