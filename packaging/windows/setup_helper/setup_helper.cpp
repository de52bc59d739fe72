// What the setup program and its uninstaller cannot do safely in NSIS, whose strings end at 1,024 characters:
//
//   setup_helper path add system|user FOLDER      FOLDER put once at the end of the system's or the user's PATH
//   setup_helper path remove system|user FOLDER   every entry naming FOLDER taken out of that PATH
//   setup_helper running FOLDER                   the programs running from FOLDER, one a line
//
// The PATH is read and written in the registry as it is stored, whatever its length and without expanding it; the
// process's own environment, which may be older or shorter than the registry, is never looked at. Every byte that
// is not our entry, and the value's type (REG_EXPAND_SZ or REG_SZ), stay as they were. A change that cannot be made
// safely is not made at all. One line on standard output says what happened.
//
// Exit codes: 0 done (or nothing to do); 1 the PATH was left as it was, or programs are running; 2 a usage error.
#include <windows.h>
// windows.h must come first.
#include <tlhelp32.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD maxVariable = 32767; // Windows' limit for an environment variable, its terminating NUL included

// A console gets the text as it is; a pipe (the setup program's nsExec) gets UTF-16 after a byte-order mark, which
// nsExec recognises, so that folder names in any script arrive intact.
void say(const std::wstring& line)
{
    static bool first = true;
    const std::wstring text = line + L"\r\n";
    DWORD written = 0, mode = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.c_str(), DWORD(text.size()), &written, nullptr);
        return;
    }
    const std::wstring bytes = (first ? L"\xFEFF" : L"") + text;
    first = false;
    WriteFile(out, bytes.data(), DWORD(bytes.size() * sizeof(wchar_t)), &written, nullptr);
}

int usage()
{
    say(L"usage: setup_helper path add|remove system|user FOLDER | setup_helper running FOLDER");
    return 2;
}

std::wstring systemMessage(LSTATUS status)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   DWORD(status), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"error " + std::to_wstring(status);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return message;
}

// A PATH entry names the folder when it is the same text, ignoring case, a trailing backslash and surrounding quotes.
std::wstring bare(std::wstring entry)
{
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"')
        entry = entry.substr(1, entry.size() - 2);
    if (entry.size() > 1 && entry.back() == L'\\')
        entry.pop_back();
    return entry;
}
bool names(const std::wstring& entry, const std::wstring& folder)
{
    const std::wstring a = bare(entry), b = bare(folder);
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

std::vector<std::wstring> split(const std::wstring& path)
{
    std::vector<std::wstring> entries;
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find(L';', start);
        entries.push_back(path.substr(start, end - start));
        if (end == std::wstring::npos)
            return entries;
        start = end + 1;
    }
}

// The PATH value exactly as stored: its text, its type, and whether the stored bytes end with a NUL (they normally
// do; kept as found, so that the bytes written back differ only by our entry).
struct PathValue {
    bool exists = false;
    DWORD type = REG_EXPAND_SZ;
    bool terminated = true;
    std::wstring text;
};

LSTATUS read(HKEY key, PathValue& value)
{
    std::vector<BYTE> bytes;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, L"Path", nullptr, &value.type, nullptr, &size);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        bytes.resize(size);
        status = RegQueryValueExW(key, L"Path", nullptr, &value.type, bytes.data(), &size);
        if (status == ERROR_SUCCESS) {
            bytes.resize(size);
            break;
        }
    }
    if (status == ERROR_FILE_NOT_FOUND) {
        value = PathValue{};
        return ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS)
        return status;
    value.exists = true;
    if ((value.type != REG_EXPAND_SZ && value.type != REG_SZ) || bytes.size() % sizeof(wchar_t) != 0)
        return ERROR_INVALID_DATA;
    value.text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    value.terminated = !value.text.empty() && value.text.back() == L'\0';
    if (value.terminated)
        value.text.pop_back();
    // A NUL inside the text would hide what follows it from Windows; such a value is not ours to rewrite.
    return value.text.find(L'\0') == std::wstring::npos ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

LSTATUS write(HKEY key, const PathValue& value)
{
    const DWORD size = DWORD((value.text.size() + (value.terminated ? 1 : 0)) * sizeof(wchar_t));
    return RegSetValueExW(key, L"Path", 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()), size);
}

// Tells the running programs (Explorer above all, which starts the user's new programs) that the environment changed.
void broadcast()
{
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG,
                        5000, nullptr);
}

int changePath(bool add, bool system, const std::wstring& folder)
{
    const wchar_t* where = system ? L"the system PATH" : L"the user's PATH";
    HKEY key = nullptr;
    const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY;
    LSTATUS status = system
        ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                        access, &key)
        : RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, nullptr, 0, access, nullptr, &key, nullptr);
    PathValue before;
    if (status == ERROR_SUCCESS)
        status = read(key, before);
    if (status != ERROR_SUCCESS) {
        say(L"PATH not changed: " + std::wstring(where) + L" could not be read (" + systemMessage(status) + L")");
        if (key)
            RegCloseKey(key);
        return 1;
    }

    // Removing takes out every entry that names the folder, with one separator each, so that a value that ended
    // with ";" before the entry was added ends with it again; adding keeps a final ";" after the new last entry.
    PathValue after = before;
    std::vector<std::wstring> entries = split(before.text);
    std::size_t ours = 0;
    for (const std::wstring& entry : entries)
        ours += names(entry, folder) ? 1 : 0;
    if (add && ours == 0) {
        if (before.text.empty())
            after.text = folder;
        else if (before.text.back() == L';')
            after.text = before.text + folder + L";";
        else
            after.text = before.text + L";" + folder;
    } else if (!add && ours > 0) {
        after.text.clear();
        bool first = true;
        for (const std::wstring& entry : entries) {
            if (names(entry, folder))
                continue;
            after.text += (first ? L"" : L";") + entry;
            first = false;
        }
    } else {
        say(std::wstring(add ? L"PATH not changed: " : L"PATH not changed: no entry for ") + folder +
            (add ? L" is already on " : L" on ") + where);
        RegCloseKey(key);
        return 0;
    }

    // The new value must still fit into a process's environment, as it is written and once expanded.
    const DWORD expanded = ExpandEnvironmentStringsW(after.text.c_str(), nullptr, 0);
    if (after.text.size() >= maxVariable || expanded == 0 || expanded > maxVariable) {
        say(L"PATH not changed: " + std::wstring(where) + L" would become " + std::to_wstring(after.text.size()) +
            L" characters long, over Windows' limit of " + std::to_wstring(maxVariable - 1) + L"; add " + folder +
            L" by hand if you need it there");
        RegCloseKey(key);
        return 1;
    }

    // A user's PATH that held our entry alone is removed, as Windows has none until something makes one; the
    // system's is kept, empty.
    const bool removeValue = !add && after.text.empty() && !system;
    status = removeValue ? RegDeleteValueW(key, L"Path") : write(key, after);
    PathValue check;
    if (status == ERROR_SUCCESS)
        status = read(key, check);
    RegCloseKey(key);
    const bool same = check.exists == !removeValue &&
        (removeValue || (check.text == after.text && check.type == after.type && check.terminated == after.terminated));
    if (status != ERROR_SUCCESS) {
        say(L"PATH not changed: " + std::wstring(where) + L" could not be written (" + systemMessage(status) + L")");
        return 1;
    }
    if (!same) {
        say(std::wstring(where) + L" reads back otherwise than written: another program may have changed it now");
        return 1;
    }
    broadcast();
    say((add ? L"Added " : L"Removed ") + folder + (add ? L" to " : L" from ") + where);
    return 0;
}

// Every process whose program lies in the folder, but this one and those that started it (the setup program, and
// whatever nsExec puts between it and this program).
int listRunning(const std::wstring& folder)
{
    const std::wstring prefix = bare(folder) + L"\\";
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        say(L"the running programs could not be listed (" + systemMessage(LSTATUS(GetLastError())) + L")");
        return 1;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::map<DWORD, DWORD> parents;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        parents[entry.th32ProcessID] = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    std::set<DWORD> ancestors;
    for (DWORD id = GetCurrentProcessId(); id != 0 && ancestors.insert(id).second && parents.count(id) != 0;)
        id = parents[id];
    std::vector<std::wstring> found;
    for (const auto& [id, parent] : parents) {
        if (ancestors.count(id) != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (!process)
            continue;
        std::wstring image(maxVariable, L'\0');
        DWORD size = maxVariable;
        const bool named = QueryFullProcessImageNameW(process, 0, image.data(), &size);
        CloseHandle(process);
        image.resize(named ? size : 0);
        if (image.size() > prefix.size() &&
            CompareStringOrdinal(image.c_str(), int(prefix.size()), prefix.c_str(), int(prefix.size()), TRUE) ==
                CSTR_EQUAL)
            found.push_back(image);
    }
    for (const std::wstring& image : found)
        say(image);
    return found.empty() ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == L"path" && (args[1] == L"add" || args[1] == L"remove") &&
        (args[2] == L"system" || args[2] == L"user") && !args[3].empty())
        return changePath(args[1] == L"add", args[2] == L"system", args[3]);
    if (args.size() == 2 && args[0] == L"running" && !args[1].empty())
        return listRunning(args[1]);
    return usage();
}
