// The Windows front end: program entry, the main window with its two push buttons, painting
// of the background and indicator images, and the window side of the controller's messages.
// Every decision about settings, texts and captions is the controller's; this module only
// carries them out with USER32 and GDI32.

#include <windows.h>

#include "controller.h"
#include "keepAlive_win32.h"
#include "resource.h"

namespace {

const char g_szClassName[] = "Hauptfenster";
const char kWindowTitle[] = "ZEK VE927 Varerevuridid";

// MB_OK | MB_ICONEXCLAMATION: every message box of the program is of this type.
const UINT kMessageType = MB_OK | MB_ICONEXCLAMATION;

// Outer size of the main window, and the layout of its client area.
const int kWindowWidth = 500;
const int kWindowHeight = 200;
const int kBackgroundWidth = 490;
const int kBackgroundHeight = 171;
const int kIndicatorX = 270;
const int kIndicatorWidth = 85;
const int kIndicatorHeight = 25;
const int kButtonX = 375;
const int kButtonWidth = 100;
const int kButtonHeight = 25;
const int kBinPatchRowY = 67;
const int kCabviewRowY = 112;

HWND mainWindow = NULL;
// The background image; null while none is held (its load failed, or it has been released).
HBITMAP bmp_bg = NULL;
// The indicator images, loaded for the paint in progress only.
HBITMAP bmp_bin = NULL;
HBITMAP bmp_cab = NULL;
HWND binpatchButton = NULL;
HWND cabviewButton = NULL;
// True while a click runs, up to its first message: the cursor shows the wait.
bool clickRunning = false;
// True while a command runs, its messages included. The window answers what other programs
// send it meanwhile, and a click sent so (by a script, an accessibility tool) is dropped: no
// second command starts before the first ends.
bool commandRunning = false;

HINSTANCE ownModule()
{
    return GetModuleHandleA(NULL);
}

void showWarning(HWND owner, const char* text, const char* title)
{
    MessageBoxA(owner, text, title, kMessageType);
}

LRESULT onDestroy();

// Mouse clicks and keys given while a click runs are dropped: no second command starts before
// the click ends, and none reaches the message box that follows it.
void dropInput()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageA(&msg, NULL, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (PeekMessageA(&msg, NULL, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}

// Called by the file functions while a click waits for another's or copies many files:
// a look at the queue that removes nothing answers the messages other programs send (Windows
// then sees the window alive), and the window repaints what needs it.
void keepWindowAlive()
{
    dropInput();
    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
    UpdateWindow(mainWindow);
}

// The keep-alive's wait: for the handles or for the next message that arrives.
DWORD waitForHandlesOrMessage(DWORD count, const HANDLE* handles, DWORD timeoutMs)
{
    return MsgWaitForMultipleObjects(count, handles, FALSE, timeoutMs, QS_ALLINPUT);
}

void endWaitCursor()
{
    if (!clickRunning)
        return;
    clickRunning = false;
    dropInput();
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
}

// What the controller needs from the window.
class WindowFrontEnd : public FrontEnd {
public:
    void showMessage(const char* text, const char* title) override
    {
        endWaitCursor();
        showWarning(mainWindow, text, title);
    }

    void setButtonCaption(Button button, const char* text) override
    {
        SetWindowTextA(button == Button::BinPatch ? binpatchButton : cabviewButton, text);
    }

    void requestRepaint() override { InvalidateRect(mainWindow, NULL, TRUE); }

    // The destroy handling runs inside the call; the window itself stays.
    void endProgram() override { SendMessageA(mainWindow, WM_DESTROY, 0, 0); }
};

WindowFrontEnd frontEnd;
Controller controller(frontEnd);

int bitmapFor(Indicator indicator)
{
    switch (indicator) {
    case Indicator::BinPatchOn:
        return IDB_BIN_ON;
    case Indicator::BinPatchOff:
        return IDB_BIN_OFF;
    case Indicator::Cabview1024:
        return IDB_CAB_1024;
    case Indicator::Cabview1280:
        return IDB_CAB_1280;
    }
    return IDB_BIN_OFF;
}

HBITMAP loadBitmap(int id)
{
    return LoadBitmapA(ownModule(), MAKEINTRESOURCEA(id));
}

HWND createButton(HWND parent, const char* caption, int y, int id)
{
    // GWLP_HINSTANCE is GWL_HINSTANCE (-6); GetWindowLongPtrA is GetWindowLongA on 32-bit
    // Windows and reads the whole handle on 64-bit Windows.
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
    return CreateWindowExA(0, "button", caption, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, kButtonX, y,
                           kButtonWidth, kButtonHeight, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, NULL);
}

// Runs while CreateWindowExA is in progress, before the window is visible.
LRESULT onCreate(HWND hwnd)
{
    mainWindow = hwnd;
    bmp_bg = loadBitmap(IDB_BG);
    if (bmp_bg == NULL)
        showWarning(hwnd, "Fehler beim Laden des Hintergrunds!", "Fehler");

    // On a read error this shows its message and runs the destroy handling; creation goes
    // on all the same, and the message loop ends at the quit request.
    controller.loadStates();

    binpatchButton = createButton(hwnd, controller.getBinPatchCaption(), kBinPatchRowY, IDC_BINPATCH);
    cabviewButton = createButton(hwnd, controller.getCabviewCaption(), kCabviewRowY, IDC_CABVIEW);
    return 0;
}

void drawImage(HDC target, HDC memory, HBITMAP image, int x, int y, int width, int height)
{
    SelectObject(memory, image);
    BitBlt(target, x, y, width, height, memory, 0, 0, SRCCOPY);
}

// Draws the whole picture; the indicators follow the controller's values of this moment.
LRESULT onPaint(HWND hwnd)
{
    bmp_bin = loadBitmap(bitmapFor(controller.getBinPatchIndicator()));
    bmp_cab = loadBitmap(bitmapFor(controller.getCabviewIndicator()));

    PAINTSTRUCT ps;
    const HDC hdc = BeginPaint(hwnd, &ps);
    const HDC memory = CreateCompatibleDC(hdc);
    const HGDIOBJ originalBitmap = GetCurrentObject(memory, OBJ_BITMAP);

    // Without a background image the area stays as the class brush erased it.
    if (bmp_bg != NULL)
        drawImage(hdc, memory, bmp_bg, 0, 0, kBackgroundWidth, kBackgroundHeight);
    drawImage(hdc, memory, bmp_bin, kIndicatorX, kBinPatchRowY, kIndicatorWidth, kIndicatorHeight);
    drawImage(hdc, memory, bmp_cab, kIndicatorX, kCabviewRowY, kIndicatorWidth, kIndicatorHeight);

    SelectObject(memory, originalBitmap);
    DeleteDC(memory);
    EndPaint(hwnd, &ps);

    // Neither image is selected anywhere now; none is held until the next paint.
    DeleteObject(bmp_bin);
    DeleteObject(bmp_cab);
    bmp_bin = NULL;
    bmp_cab = NULL;
    return 0;
}

void startWaitCursor()
{
    clickRunning = true;
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
}

// The notification code and lParam are not examined: either control id counts as a click.
// The cursor shows the wait until the click's first message.
LRESULT onCommand(WPARAM wParam)
{
    if (commandRunning)
        return 0;
    commandRunning = true;
    switch (LOWORD(wParam)) {
    case IDC_BINPATCH:
        startWaitCursor();
        controller.toggleBinPatch();
        break;
    case IDC_CABVIEW:
        startWaitCursor();
        controller.toggleCabview();
        break;
    default:
        break;
    }
    endWaitCursor();
    commandRunning = false;
    return 0;
}

LRESULT onSetCursor(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    if (!clickRunning)
        return DefWindowProcA(hwnd, WM_SETCURSOR, wParam, lParam);
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    return TRUE;
}

LRESULT onClose(HWND hwnd)
{
    DestroyWindow(hwnd);
    return 0;
}

// Also run by endProgram on a read error, so it may run twice: the background image is
// released at most once, and no later paint draws it.
LRESULT onDestroy()
{
    if (bmp_bg != NULL) {
        DeleteObject(bmp_bg);
        bmp_bg = NULL;
    }
    PostQuitMessage(0);
    return 0;
}

} // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        return onCreate(hwnd);
    case WM_DESTROY:
        return onDestroy();
    case WM_PAINT:
        return onPaint(hwnd);
    case WM_CLOSE:
        return onClose(hwnd);
    case WM_COMMAND:
        return onCommand(wParam);
    case WM_SETCURSOR:
        return onSetCursor(hwnd, wParam, lParam);
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/, int nCmdShow)
{
    WNDCLASSEXA wc;
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = 0;
    wc.lpfnWndProc = WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(ownModule(), MAKEINTRESOURCEA(IDI_MAIN));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszMenuName = NULL;
    wc.lpszClassName = g_szClassName;
    wc.hIconSm = static_cast<HICON>(LoadImageA(ownModule(), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, 16, 16, 0));

    if (RegisterClassExA(&wc) == 0) {
        showWarning(NULL, "Fehler bei Registrierung des Fensters!", "Fehler!");
        return 0;
    }

    const HWND hwnd = CreateWindowExA(WS_EX_CLIENTEDGE, g_szClassName, kWindowTitle,
                                      WS_VISIBLE | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
                                      kWindowWidth, kWindowHeight, NULL, NULL, hInstance, NULL);
    if (hwnd == NULL) {
        showWarning(NULL, "Fehler beim Erstellen des Fensters!", "Fehler!");
        return 0;
    }

    setKeepAlive({keepWindowAlive, waitForHandlesOrMessage});
    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);

    // Zeroed, so that a failing GetMessageA ends the program with 0 as well.
    MSG msg = {};
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
