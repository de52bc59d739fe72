// What Windows itself reports of a running program: "window TITLE" prints the sizes and places on the screen of the
// window and of its client area, and which parts the frame has; "texts TITLE" the texts of the window's visible
// controls, one a line; "clipboard" writes the clipboard's Unicode text as UTF-8, byte for byte.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "window") == 0) {
        HWND window = FindWindowA(nullptr, argv[2]);
        RECT frame, client;
        POINT origin{0, 0};
        if (!window || !GetWindowRect(window, &frame) || !GetClientRect(window, &client) ||
            !ClientToScreen(window, &origin))
            return 1;
        const LONG_PTR s = GetWindowLongPtrW(window, GWL_STYLE);
        const bool close = (s & WS_SYSMENU) && !(GetClassLongPtrW(window, GCL_STYLE) & CS_NOCLOSE);
        std::printf("window %ldx%ld at %ld,%ld; client %ldx%ld at %ld,%ld; system menu %d, close %d, minimise %d, "
                    "maximise %d, resizable %d\n",
                    frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top, client.right,
                    client.bottom, origin.x, origin.y, !!(s & WS_SYSMENU), close, !!(s & WS_MINIMIZEBOX),
                    !!(s & WS_MAXIMIZEBOX), !!(s & WS_THICKFRAME));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "texts") == 0) {
        HWND window = FindWindowA(nullptr, argv[2]);
        EnumChildWindows(
            window,
            [](HWND child, LPARAM) -> BOOL {
                char text[512];
                if (IsWindowVisible(child) && GetWindowTextA(child, text, sizeof text) > 0)
                    std::puts(text);
                return TRUE;
            },
            0);
        return window ? 0 : 1;
    }
    if (argc != 2 || std::strcmp(argv[1], "clipboard") != 0 || !OpenClipboard(nullptr))
        return 2;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* text = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (text) {
        std::string bytes(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), int(bytes.size()), nullptr, nullptr);
        _setmode(_fileno(stdout), _O_BINARY);
        std::fwrite(bytes.data(), 1, bytes.size() - 1, stdout);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text ? 0 : 1;
}
