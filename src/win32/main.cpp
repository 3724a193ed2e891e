// The Windows front end: program entry, the main window with its two push buttons, painting
// of the background and indicator images, and the window side of the controller's messages.
// Every decision about settings, texts and captions is the controller's; this module only
// carries them out with USER32 and GDI32.

#include <windows.h>

#include "controller.h"
#include "keepAlive_win32.h"
#include "resource.h"

namespace {

const char kClassName[] = "Hauptfenster";
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

// The image of each indicator, in the order of the enumeration Indicator.
const int kIndicatorBitmaps[] = {IDB_BIN_ON, IDB_BIN_OFF, IDB_CAB_1024, IDB_CAB_1280};
const size_t kIndicatorCount = sizeof kIndicatorBitmaps / sizeof kIndicatorBitmaps[0];

void showWarning(HWND owner, const char* text, const char* title)
{
    MessageBoxA(owner, text, title, kMessageType);
}

HBITMAP loadBitmap(HINSTANCE instance, int id)
{
    return LoadBitmapA(instance, MAKEINTRESOURCEA(id));
}

void releaseBitmap(HBITMAP& bitmap)
{
    if (bitmap != NULL)
        DeleteObject(bitmap);
    bitmap = NULL;
}

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

BOOL CALLBACK repaintIfNeeded(HWND window, LPARAM /*unused*/)
{
    UpdateWindow(window);
    return TRUE;
}

// Called by the file functions while a click waits for another's or copies many files:
// a look at the queue that removes nothing answers the messages other programs send (Windows
// then sees the window alive), and the thread's windows repaint what needs it.
void keepWindowAlive()
{
    dropInput();
    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
    EnumThreadWindows(GetCurrentThreadId(), repaintIfNeeded, 0);
}

// The keep-alive's wait: for the handles or for the next message that arrives.
DWORD waitForHandlesOrMessage(DWORD count, const HANDLE* handles, DWORD timeoutMs)
{
    return MsgWaitForMultipleObjects(count, handles, FALSE, timeoutMs, QS_ALLINPUT);
}

void drawImage(HDC target, HDC memory, HBITMAP image, int x, int y, int width, int height)
{
    if (image == NULL)
        return;
    SelectObject(memory, image);
    BitBlt(target, x, y, width, height, memory, 0, 0, SRCCOPY);
}

// The main window's state, from its creation to its destruction; WinMain owns it, and WndProc
// reaches it through the window (GWLP_USERDATA). It is the controller's front end as well.
class MainWindow : public FrontEnd {
public:
    MainWindow() : controller_(*this) {}
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    LRESULT onCreate(HWND window);
    LRESULT onPaint();
    LRESULT onCommand(WPARAM wParam);
    LRESULT onSetCursor(WPARAM wParam, LPARAM lParam);
    LRESULT onDefaultButton();
    LRESULT onDestroy();
    bool handleAsDialog(MSG* msg);

    // What the controller needs from the window.
    void showMessage(const char* text, const char* title) override;
    void setButtonCaption(Button button, const char* text) override;
    void requestRepaint() override;
    void endProgram() override;

private:
    HWND createButton(const char* caption, int y, int id) const;
    HWND focusedButton() const;
    void startWaitCursor();
    void endWaitCursor();
    HBITMAP indicatorImage(Indicator indicator) const { return indicators_[static_cast<size_t>(indicator)]; }

    HWND window_ = NULL;
    HINSTANCE instance_ = NULL;
    HWND binPatchButton_ = NULL;
    HWND cabviewButton_ = NULL;
    // Loaded at creation and released with the window; null where a load failed. The
    // background goes at once when the program ends at start, so that no paint draws it.
    HBITMAP background_ = NULL;
    HBITMAP indicators_[kIndicatorCount] = {};
    // True while a click runs, up to its first message: the cursor shows the wait.
    bool clickRunning_ = false;
    // True while a command runs, its messages included. The window answers what other programs
    // send it meanwhile, and a click sent so (by a script, an accessibility tool) is dropped: no
    // second command starts before the first ends.
    bool commandRunning_ = false;
    // True from the player's first key in the window on: a button pressed then keeps the focus
    // after its messages. Before, the window keeps the look it has without a keyboard.
    bool keysUsed_ = false;
    Controller controller_;
};

// Runs while CreateWindowExA is in progress, before the window is visible.
LRESULT MainWindow::onCreate(HWND window)
{
    window_ = window;
    instance_ = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    background_ = loadBitmap(instance_, IDB_BG);
    if (background_ == NULL)
        showWarning(window, "Fehler beim Laden des Hintergrunds!", "Fehler");
    for (size_t i = 0; i < kIndicatorCount; ++i)
        indicators_[i] = loadBitmap(instance_, kIndicatorBitmaps[i]);

    // On a read error this shows its message and ends the program; creation goes on all the
    // same, and the window is shown once before it closes.
    controller_.loadStates();

    binPatchButton_ = createButton(controller_.getBinPatchCaption(), kBinPatchRowY, IDC_BINPATCH);
    cabviewButton_ = createButton(controller_.getCabviewCaption(), kCabviewRowY, IDC_CABVIEW);
    return 0;
}

// Tab stops in the order created: BinPatch, then the cab view. Neither has the focus until a
// key gives it, so the window shows no focus rectangle before the player uses the keyboard.
HWND MainWindow::createButton(const char* caption, int y, int id) const
{
    return CreateWindowExA(0, "button", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kButtonX, y,
                           kButtonWidth, kButtonHeight, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           instance_, NULL);
}

// Draws the whole picture; the indicators follow the controller's values of this moment.
// Without a background image the area stays as the class brush erased it.
LRESULT MainWindow::onPaint()
{
    PAINTSTRUCT ps;
    const HDC hdc = BeginPaint(window_, &ps);
    const HDC memory = CreateCompatibleDC(hdc);
    const HGDIOBJ originalBitmap = GetCurrentObject(memory, OBJ_BITMAP);

    drawImage(hdc, memory, background_, 0, 0, kBackgroundWidth, kBackgroundHeight);
    drawImage(hdc, memory, indicatorImage(controller_.getBinPatchIndicator()), kIndicatorX, kBinPatchRowY,
              kIndicatorWidth, kIndicatorHeight);
    drawImage(hdc, memory, indicatorImage(controller_.getCabviewIndicator()), kIndicatorX, kCabviewRowY,
              kIndicatorWidth, kIndicatorHeight);

    // No image stays selected, so each can be released at the end.
    SelectObject(memory, originalBitmap);
    DeleteDC(memory);
    EndPaint(window_, &ps);
    return 0;
}

HWND MainWindow::focusedButton() const
{
    const HWND focus = GetFocus();
    return focus != NULL && (focus == binPatchButton_ || focus == cabviewButton_) ? focus : NULL;
}

void MainWindow::startWaitCursor()
{
    clickRunning_ = true;
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
}

void MainWindow::endWaitCursor()
{
    if (!clickRunning_)
        return;
    clickRunning_ = false;
    dropInput();
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
}

// The notification code and lParam are not examined: either control id counts as a click.
// The cursor shows the wait until the click's first message. A message box takes the focus
// from the button pressed; once the player uses the keyboard it gets it back, so that Tab goes
// on from there.
LRESULT MainWindow::onCommand(WPARAM wParam)
{
    if (commandRunning_)
        return 0;
    commandRunning_ = true;
    const HWND pressed = keysUsed_ ? focusedButton() : NULL;
    switch (LOWORD(wParam)) {
    case IDC_BINPATCH:
        startWaitCursor();
        controller_.toggleBinPatch();
        break;
    case IDC_CABVIEW:
        startWaitCursor();
        controller_.toggleCabview();
        break;
    default:
        break;
    }
    endWaitCursor();
    if (pressed != NULL && IsWindow(pressed) && GetActiveWindow() == window_)
        SetFocus(pressed);
    commandRunning_ = false;
    return 0;
}

LRESULT MainWindow::onSetCursor(WPARAM wParam, LPARAM lParam)
{
    if (!clickRunning_)
        return DefWindowProcA(window_, WM_SETCURSOR, wParam, lParam);
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    return TRUE;
}

// Enter presses the button that has the focus, as in a dialog box: the dialog keys ask the
// window for its default button, and that is the focused one. Before a key has given either
// the focus there is none, and Enter does nothing.
LRESULT MainWindow::onDefaultButton()
{
    const HWND focus = focusedButton();
    if (focus == NULL)
        return 0;
    return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
}

LRESULT MainWindow::onDestroy()
{
    releaseBitmap(background_);
    for (HBITMAP& indicator : indicators_)
        releaseBitmap(indicator);
    PostQuitMessage(0);
    return 0;
}

// The window's messages go through the dialog manager, so that the dialog keys (Tab, Shift+Tab,
// Space, Enter) work the buttons as in a dialog box; true when it has handled the message (it
// dispatches each of the window's itself).
bool MainWindow::handleAsDialog(MSG* msg)
{
    if (msg->message == WM_KEYDOWN && (msg->hwnd == window_ || IsChild(window_, msg->hwnd)))
        keysUsed_ = true;
    return IsDialogMessageA(window_, msg) != FALSE;
}

void MainWindow::showMessage(const char* text, const char* title)
{
    endWaitCursor();
    showWarning(window_, text, title);
}

void MainWindow::setButtonCaption(Button button, const char* text)
{
    SetWindowTextA(button == Button::BinPatch ? binPatchButton_ : cabviewButton_, text);
}

void MainWindow::requestRepaint()
{
    InvalidateRect(window_, NULL, TRUE);
}

// Called during creation, on a read error: the window is still shown and painted once (without
// the background, released here), then it closes as a closed window does, and the program
// ends with 0 from its message loop.
void MainWindow::endProgram()
{
    releaseBitmap(background_);
    PostMessageA(window_, WM_CLOSE, 0, 0);
}

// Keeps the state that CreateWindowExA was given with the window, before any message needs it.
MainWindow* attachState(HWND hwnd, LPARAM lParam)
{
    MainWindow* state = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return state;
}

} // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    MainWindow* state = msg == WM_NCCREATE ? attachState(hwnd, lParam)
                                           : reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    // A few messages (WM_GETMINMAXINFO) come before WM_NCCREATE; none reaches the state after
    // WM_NCDESTROY.
    if (state == NULL)
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_CREATE:
        return state->onCreate(hwnd);
    case WM_DESTROY:
        return state->onDestroy();
    case WM_NCDESTROY:
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_PAINT:
        return state->onPaint();
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_COMMAND:
        return state->onCommand(wParam);
    case WM_SETCURSOR:
        return state->onSetCursor(wParam, lParam);
    case DM_GETDEFID:
        return state->onDefaultButton();
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
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_MAIN));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszMenuName = NULL;
    wc.lpszClassName = kClassName;
    wc.hIconSm = static_cast<HICON>(LoadImageA(hInstance, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, 16, 16, 0));

    if (RegisterClassExA(&wc) == 0) {
        showWarning(NULL, "Fehler bei Registrierung des Fensters!", "Fehler!");
        return 0;
    }

    MainWindow mainWindow;
    const HWND hwnd = CreateWindowExA(WS_EX_CLIENTEDGE, kClassName, kWindowTitle, WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
                                      CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth, kWindowHeight, NULL, NULL,
                                      hInstance, &mainWindow);
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
        if (mainWindow.handleAsDialog(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
