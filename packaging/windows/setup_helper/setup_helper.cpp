// What the setup program and its uninstaller cannot do safely in NSIS, whose strings end at 1,024 characters:
//
//   setup_helper path add system|user|SID FOLDER   FOLDER put at the end of the system's or a user's PATH, unless
//                                                  an entry naming it is there already (SID: that account's PATH,
//                                                  this account's too when it is that account)
//   setup_helper path remove system|user|SID ENTRY [made]
//                                                  the last entry that is exactly ENTRY taken out of that PATH
//                                                  (made: adding it made the value, which goes if left empty)
//   setup_helper account                           this account's SID, and whether it is the desktop's user
//   setup_helper running FOLDER                    the programs running from FOLDER, one a line
//   setup_helper fresh FOLDER                      a new empty folder beside FOLDER, its name printed
//   setup_helper mark FOLDER                       the installation marker: every file in FOLDER, listed in it
//   setup_helper remove FOLDER [LISTING-FOLDER]    the files FOLDER's marker (or LISTING-FOLDER's) lists removed,
//                                                  then the folders they leave empty
//   setup_helper swap NEW FOLDER                   NEW renamed to FOLDER, FOLDER first renamed aside (name printed)
//   setup_helper elevate PROGRAM [ARGUMENTS]       PROGRAM run with administrator rights, and waited for
//   setup_helper uninstall [ARGUMENTS]             the uninstaller beside this program run in place and waited
//                                                  for; once it succeeded, it, this program and the folder removed
//
// A copy of it lies in the installation folder for the last command, which the uninstall entry names: an NSIS
// uninstaller started as it is copies itself elsewhere and returns at once, so that whoever started it could neither
// wait for it nor learn its exit code. It is a windowed program, so that no console window shows meanwhile.
// The PATH is read and written in the registry as it is stored, whatever its length and without expanding it; the
// process's own environment, which may be older or shorter than the registry, is never looked at. Every byte that
// is not our entry, and the value's type (REG_EXPAND_SZ or REG_SZ), stay as they were. A change that cannot be made
// safely is not made at all. What happened is said on standard output.
//
// Exit codes: 0 done; 1 nothing was changed (or programs are running, or the account is not the desktop's user);
// 2 a usage error; 10 nothing to do (the PATH already names the folder); 11 our files were removed, others kept;
// 12 added, making the PATH value, which was missing. `uninstall` ends with the uninstaller's exit code, or with
// 12 when administrator rights were refused and 13 when the uninstaller (or the copy of this program that was to
// have the rights) could not be started or waited for: never 1, which is the uninstaller's "cancelled by the user".
// `elevate` ends with the program's exit code, 1223 when the rights were refused, or 13.
#include <windows.h>
// windows.h must come first.
#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD maxVariable = 32767; // Windows' limit for an environment variable, its terminating NUL included
constexpr int alreadyThere = 10, othersKept = 11, madeValue = 12;
constexpr int rightsRefused = 12, notStarted = 13; // the setup program's EXIT_RIGHTS, and one of this program's own
const std::wstring markerName = L"vantorel-installation.txt";
const std::wstring markerHeading =
    L"Installed by the setup program of the Vantorel KZ_admins.txt Helper; its uninstaller removes these files only.";

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

// The uninstall entry's command runs without anyone reading what it says: its failures also go to the log that
// the setup program and the uninstaller keep, %TEMP%\vantorel-admins-setup.log (UTF-16 after a byte-order mark,
// as they write it), to be read after a silent run.
void sayAndLog(const std::wstring& line)
{
    say(line);
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return;
    HANDLE log = CreateFileW((std::wstring(temp, length) + L"vantorel-admins-setup.log").c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size{};
    const std::wstring text = (GetFileSizeEx(log, &size) && size.QuadPart == 0 ? L"\xFEFF" : L"") +
        std::wstring(L"[setup_helper] ") + line + L"\r\n";
    DWORD written = 0;
    WriteFile(log, text.data(), DWORD(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(log);
}

int usage()
{
    say(L"usage: setup_helper path add|remove system|user|SID FOLDER [made] | account | "
        L"running FOLDER | fresh FOLDER | mark FOLDER | remove FOLDER [LISTING-FOLDER] | swap NEW FOLDER | "
        L"elevate PROGRAM [ARGUMENTS] | uninstall [ARGUMENTS]");
    return 2;
}

std::wstring systemMessage(DWORD status)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   status, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"error " + std::to_wstring(status);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return message;
}

bool sameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
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
    return sameText(bare(entry), bare(folder));
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

// The SID of the account a process runs as, as text ("S-1-5-21-..."), or empty.
std::wstring accountOf(HANDLE process)
{
    HANDLE token = nullptr;
    std::wstring sid;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    wchar_t* text = nullptr;
    if (size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

// The PATH named by the scope: the system's, this account's, or (by its SID) another account's, whose part of the
// registry is there only while that account is logged on.
int changePath(bool add, const std::wstring& scope, const std::wstring& entry, bool made)
{
    const bool system = scope == L"system";
    const std::wstring self = accountOf(GetCurrentProcess());
    const bool other = !system && scope != L"user" && !sameText(scope, self);
    const std::wstring where = system ? L"the system PATH"
        : other                       ? L"the PATH of the account " + scope
                                      : L"the user's PATH";
    HKEY key = nullptr;
    const REGSAM access = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY;
    LSTATUS status = system
        ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                        access, &key)
        : other ? RegOpenKeyExW(HKEY_USERS, (scope + L"\\Environment").c_str(), 0, access, &key)
                : RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, nullptr, 0, access, nullptr, &key, nullptr);
    PathValue before;
    if (status == ERROR_SUCCESS)
        status = read(key, before);
    if (status != ERROR_SUCCESS) {
        say(L"PATH not changed: " + where + L" could not be read (" + systemMessage(DWORD(status)) + L")" +
            (other ? L"; that account must be logged on" : L""));
        if (key)
            RegCloseKey(key);
        return 1;
    }

    // Adding puts the folder last, keeping a final ";" after it; removing takes out one entry with one separator,
    // so that a value that ended with ";" before the entry was added ends with it again. Only the entry that was
    // added is removed: the last one of exactly its text, whatever else names the same folder.
    PathValue after = before;
    const std::vector<std::wstring> entries = split(before.text);
    if (add) {
        if (std::any_of(entries.begin(), entries.end(), [&](const std::wstring& e) { return names(e, entry); })) {
            say(L"PATH not changed: " + entry + L" is already on " + where);
            RegCloseKey(key);
            return alreadyThere;
        }
        if (before.text.empty())
            after.text = entry;
        else if (before.text.back() == L';')
            after.text = before.text + entry + L";";
        else
            after.text = before.text + L";" + entry;
        // The new value must still fit into a process's environment, as it is written and once expanded.
        const DWORD expanded = ExpandEnvironmentStringsW(after.text.c_str(), nullptr, 0);
        if (after.text.size() >= maxVariable || expanded == 0 || expanded > maxVariable) {
            say(L"PATH not changed: " + where + L" would become " + std::to_wstring(after.text.size()) +
                L" characters long, over Windows' limit of " + std::to_wstring(maxVariable - 1) + L"; add " + entry +
                L" by hand if you need it there");
            RegCloseKey(key);
            return 1;
        }
    } else {
        const auto last = std::find(entries.rbegin(), entries.rend(), entry);
        if (last == entries.rend()) {
            say(L"PATH not changed: " + entry + L" is no longer on " + where);
            RegCloseKey(key);
            return 0;
        }
        const std::size_t index = std::size_t(entries.rend() - last) - 1;
        after.text.clear();
        for (std::size_t i = 0, joined = 0; i < entries.size(); ++i)
            if (i != index)
                after.text += (joined++ == 0 ? L"" : L";") + entries[i];
    }

    // A PATH that held our entry alone is removed when adding it made the value, and a user's always, as Windows
    // has none until something makes one.
    const bool removeValue = !add && after.text.empty() && (made || !system);
    status = removeValue ? RegDeleteValueW(key, L"Path") : write(key, after);
    PathValue check;
    if (status == ERROR_SUCCESS)
        status = read(key, check);
    RegCloseKey(key);
    const bool same = check.exists == !removeValue &&
        (removeValue || (check.text == after.text && check.type == after.type && check.terminated == after.terminated));
    if (status != ERROR_SUCCESS) {
        say(L"PATH not changed: " + where + L" could not be written (" + systemMessage(DWORD(status)) + L")");
        return 1;
    }
    if (!same) {
        say(where + L" reads back otherwise than written: another program may have changed it now");
        return 1;
    }
    broadcast();
    say((add ? L"Added " : L"Removed ") + entry + (add ? L" to " : L" from ") + where);
    return add && !before.exists ? madeValue : 0;
}

// The account's SID; exit code 0 when it is the account of the desktop's shell, that is the user who started the
// setup program, 1 when it is another (an administrator who elevated it for a standard user, or a deployment
// service's account), whose own PATH the user would never see.
// The shell is the process of the desktop's window or, where no process has claimed that window (Wine), Explorer in
// this process's session.
int account()
{
    const std::wstring self = accountOf(GetCurrentProcess());
    DWORD shellId = 0, session = 0, theirs = 0;
    if (HWND shell = GetShellWindow())
        GetWindowThreadProcessId(shell, &shellId);
    HANDLE snapshot = shellId || !ProcessIdToSessionId(GetCurrentProcessId(), &session)
        ? INVALID_HANDLE_VALUE
        : CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more && !shellId; more = Process32NextW(snapshot, &entry))
            if (sameText(entry.szExeFile, L"explorer.exe") && ProcessIdToSessionId(entry.th32ProcessID, &theirs) &&
                theirs == session)
                shellId = entry.th32ProcessID;
        CloseHandle(snapshot);
    }
    HANDLE process = shellId ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId) : nullptr;
    const std::wstring desktop = process ? accountOf(process) : L"";
    if (process)
        CloseHandle(process);
    say(self);
    return !self.empty() && sameText(self, desktop) ? 0 : 1;
}

// Every process whose program lies in the folder, but this one and those that started it (the setup program, and
// whatever nsExec puts between it and this program).
int listRunning(const std::wstring& folder)
{
    const std::wstring prefix = bare(folder) + L"\\";
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        say(L"the running programs could not be listed (" + systemMessage(GetLastError()) + L")");
        return 2;
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
        if (image.size() > prefix.size() && sameText(image.substr(0, prefix.size()), prefix))
            found.push_back(image);
    }
    for (const std::wstring& image : found)
        say(image);
    return found.empty() ? 0 : 1;
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The first of FOLDER + SUFFIX, FOLDER + SUFFIX + "2", ... that does not exist.
std::wstring freeName(const std::wstring& folder, const std::wstring& suffix)
{
    for (int i = 1; i < 1000; ++i) {
        const std::wstring name = folder + suffix + (i == 1 ? L"" : std::to_wstring(i));
        if (!exists(name))
            return name;
    }
    return L"";
}

// A new empty folder beside FOLDER, for the new files of an installation: whatever goes wrong while they are
// written, the folder installed into is untouched until they are all there.
int fresh(const std::wstring& folder)
{
    const std::wstring name = freeName(bare(folder), L"~new");
    if (name.empty() || !CreateDirectoryW(name.c_str(), nullptr)) {
        say(L"no new folder could be made beside " + folder + L" (" + systemMessage(GetLastError()) + L")");
        return 1;
    }
    say(name);
    return 0;
}

// Every file under FOLDER, by its path relative to it.
void listFiles(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& files)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\" + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            listFiles(folder, relative + name + L"\\", files);
        else
            files.push_back(relative + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool writeUtf8(const std::wstring& path, const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes = "\xEF\xBB\xBF" + std::string(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), bytes.data() + 3, size, nullptr, nullptr);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool done = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(file) && done;
}

// The marker says that the folder holds our installation, and lists what was installed into it (itself included),
// which is what a later setup program removes and nothing else. Written last into a folder holding nothing else.
int mark(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    listFiles(folder, L"", files);
    files.push_back(markerName);
    std::sort(files.begin(), files.end());
    std::wstring text = markerHeading + L"\r\n";
    for (const std::wstring& file : files)
        text += file + L"\r\n";
    if (!writeUtf8(folder + L"\\" + markerName, text)) {
        say(L"the installation's marker could not be written in " + folder + L" (" + systemMessage(GetLastError()) +
            L")");
        return 1;
    }
    say(L"marked " + folder + L" as ours: " + std::to_wstring(files.size()) + L" files");
    return 0;
}

// The files a marker lists, or nothing when it is missing or not ours. A line that could lead out of the folder
// (absolute, with a drive, a ".." step or a "/") makes the whole list untrusted.
bool readMarker(const std::wstring& folder, std::vector<std::wstring>& files)
{
    HANDLE file = CreateFileW((folder + L"\\" + markerName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string bytes(1 << 20, '\0');
    DWORD got = 0;
    const bool read = ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
    CloseHandle(file);
    if (!read || got == bytes.size())
        return false;
    bytes.resize(got);
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
        bytes.erase(0, 3);
    std::wstring text(std::size_t(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), text.data(), int(text.size()));
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (lines.empty() || lines.front() != markerHeading)
        return false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        if (line.empty() || line.front() == L'\\' || line.find_first_of(L":/") != std::wstring::npos || line == L".." ||
            line.rfind(L"..\\", 0) == 0 || line.find(L"\\..\\") != std::wstring::npos ||
            (line.size() >= 3 && line.compare(line.size() - 3, 3, L"\\..") == 0))
            return false;
        files.push_back(line);
    }
    return true;
}

// Removes what the marker of FOLDER lists (or, for an installation made before markers were written, what the
// marker of LISTING lists), then the folders that leaves empty. Anything else stays, and is named.
int remove(const std::wstring& folder, const std::wstring& listing)
{
    std::vector<std::wstring> files;
    if (!readMarker(folder, files) && (listing.empty() || !readMarker(listing, files))) {
        say(L"nothing was removed from " + folder + L": it holds no list of installed files");
        return 1;
    }
    std::vector<std::wstring> failed;
    std::set<std::wstring> folders;
    for (const std::wstring& file : files) {
        const std::wstring path = folder + L"\\" + file;
        for (std::size_t slash = file.rfind(L'\\'); slash != std::wstring::npos && slash != 0;
             slash = file.rfind(L'\\', slash - 1))
            folders.insert(file.substr(0, slash));
        if (file == markerName)
            continue;
        if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
            GetLastError() != ERROR_PATH_NOT_FOUND)
            failed.push_back(path + L" (" + systemMessage(GetLastError()) + L")");
    }
    if (!failed.empty()) {
        for (const std::wstring& path : failed)
            say(L"could not be removed: " + path);
        return 1;
    }
    DeleteFileW((folder + L"\\" + markerName).c_str());
    // The deepest first: a longer path never comes before its own parent in reverse order.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        RemoveDirectoryW((folder + L"\\" + *it).c_str());
    if (RemoveDirectoryW(folder.c_str()) || !exists(folder)) {
        say(L"removed " + folder);
        return 0;
    }
    std::vector<std::wstring> left;
    listFiles(folder, L"", left);
    std::wstring names;
    for (const std::wstring& file : left)
        names += (names.empty() ? L"" : L", ") + file;
    say(L"removed the installed files from " + folder + L"; kept " +
        (names.empty() ? L"its folders, which are in use" : L"what the setup program did not install there: " + names));
    return othersKept;
}

// The folder with the new installation takes the place of FOLDER, which is renamed aside first, so that at every
// moment one whole installation is at FOLDER or the old one is back there. Prints the name FOLDER was given.
int swap(const std::wstring& fresh, const std::wstring& folder)
{
    std::wstring aside;
    if (exists(folder)) {
        aside = freeName(bare(folder), L"~old");
        if (aside.empty() || !MoveFileExW(folder.c_str(), aside.c_str(), 0)) {
            say(folder + L" could not be renamed (" + systemMessage(GetLastError()) +
                L"); a program may have a file in it open");
            return 1;
        }
    }
    if (!MoveFileExW(fresh.c_str(), folder.c_str(), 0)) {
        const DWORD error = GetLastError();
        if (!aside.empty() && !MoveFileExW(aside.c_str(), folder.c_str(), 0)) {
            say(L"the installation was renamed to " + aside + L" and could not be renamed back (" +
                systemMessage(GetLastError()) + L")");
            return 1;
        }
        say(fresh + L" could not be renamed to " + folder + L" (" + systemMessage(error) + L")");
        return 1;
    }
    say(aside);
    return 0;
}

// Waits for the process to end and returns its exit code (and closes it); notStarted when that cannot be learnt.
int waitFor(HANDLE process, const std::wstring& program)
{
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
    const DWORD error = GetLastError();
    CloseHandle(process);
    if (!ended) {
        sayAndLog(L"the exit code of " + program + L" could not be learnt (" + systemMessage(error) + L")");
        return notStarted;
    }
    return int(code);
}

// Runs the program with the consent or the credentials of an administrator and passes on its exit code; 1223 when
// they were refused.
int elevate(const std::vector<std::wstring>& args)
{
    std::wstring parameters;
    for (std::size_t i = 1; i < args.size(); ++i)
        parameters += (i == 1 ? L"" : L" ") + args[i];
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = args[0].c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info) || !info.hProcess) {
        const DWORD error = GetLastError();
        sayAndLog(args[0] + L" not started with administrator rights (" + systemMessage(error) + L")");
        return error == ERROR_CANCELLED ? int(ERROR_CANCELLED) : notStarted;
    }
    return waitFor(info.hProcess, args[0]);
}

// Whether the folder is that of the installation for anyone, registered under HKLM, which only an administrator
// may remove.
bool forAnyone(const std::wstring& folder)
{
    wchar_t location[MAX_PATH + 1] = {};
    DWORD size = sizeof location - sizeof(wchar_t);
    return RegGetValueW(
               HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" VANTOREL_PRODUCT_CODE,
               L"InstallLocation", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, location, &size) == ERROR_SUCCESS &&
        sameText(bare(location), bare(folder));
}

// Whether this process has an administrator's rights (with User Account Control, only once elevated).
bool administrator()
{
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    BOOL member = FALSE;
    if (AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &administrators)) {
        CheckTokenMembership(nullptr, administrators, &member);
        FreeSid(administrators);
    }
    return member;
}

// Runs Uninstall.exe from this program's folder in place (NSIS's _?=, which must come last), waits for it, and then
// removes what it cannot remove itself while it runs: its own file, this program and the folder, if empty. This
// program cannot be deleted while it runs either, but it can be renamed: into the temporary folder, to be deleted at
// the next restart. An installation for anyone, uninstalled without an administrator's rights, is handed once to a
// copy of this program started with them. Exits with the uninstaller's exit code.
int uninstall(const std::vector<std::wstring>& args, bool elevated)
{
    std::wstring self(maxVariable, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), maxVariable));
    const std::wstring folder = self.substr(0, self.rfind(L'\\'));
    if (!elevated && forAnyone(folder) && !administrator()) {
        std::vector<std::wstring> again{self, L"uninstall-elevated"};
        again.insert(again.end(), args.begin(), args.end());
        const int code = elevate(again);
        return code == int(ERROR_CANCELLED) ? rightsRefused : code;
    }
    const std::wstring uninstaller = folder + L"\\Uninstall.exe";
    std::wstring command = L"\"" + uninstaller + L"\"";
    for (const std::wstring& arg : args)
        command += L" " + arg;
    command += L" _?=" + folder;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // A start that failed is tried once more a second later (it ran nothing): a virus scanner may hold the
    // uninstaller for a moment.
    const auto start = [&] {
        return CreateProcessW(uninstaller.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process) != 0;
    };
    bool started = start();
    if (!started) {
        sayAndLog(uninstaller + L" could not be started (" + systemMessage(GetLastError()) + L"); tried again");
        Sleep(1000);
        started = start();
    }
    if (!started) {
        sayAndLog(uninstaller + L" could not be started (" + systemMessage(GetLastError()) + L"); nothing was changed");
        return notStarted;
    }
    CloseHandle(process.hThread);
    const int code = waitFor(process.hProcess, uninstaller);
    if (code != 0)
        return code;
    DeleteFileW(uninstaller.c_str());
    // A name of its own in the temporary folder (GetTempFileName makes the file, which this program then replaces).
    wchar_t temp[MAX_PATH + 1], moved[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length != 0 && length <= MAX_PATH && GetTempFileNameW(temp, L"vsh", 0, moved) != 0 &&
        MoveFileExW(self.c_str(), moved, MOVEFILE_REPLACE_EXISTING))
        MoveFileExW(moved, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    else
        MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    RemoveDirectoryW(folder.c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    const auto is = [&](std::size_t count, const wchar_t* command) {
        return args.size() == count && args[0] == command &&
            std::none_of(args.begin() + 1, args.end(), [](const std::wstring& a) { return a.empty(); });
    };
    const bool scoped =
        args.size() >= 3 && (args[2] == L"system" || args[2] == L"user" || args[2].rfind(L"S-1-", 0) == 0);
    if (is(4, L"path") && args[1] == L"add" && scoped)
        return changePath(true, args[2], args[3], false);
    if ((is(4, L"path") || (is(5, L"path") && args[4] == L"made")) && args[1] == L"remove" && scoped)
        return changePath(false, args[2], args[3], args.size() == 5);
    if (is(1, L"account"))
        return account();
    if (is(2, L"running"))
        return listRunning(args[1]);
    if (is(2, L"fresh"))
        return fresh(args[1]);
    if (is(2, L"mark"))
        return mark(bare(args[1]));
    if (is(2, L"remove") || is(3, L"remove"))
        return remove(bare(args[1]), args.size() == 3 ? bare(args[2]) : L"");
    if (is(3, L"swap"))
        return swap(bare(args[1]), bare(args[2]));
    if (!args.empty() && (args[0] == L"uninstall" || args[0] == L"uninstall-elevated"))
        return uninstall({args.begin() + 1, args.end()}, args[0] == L"uninstall-elevated");
    if (args.size() >= 2 && args[0] == L"elevate")
        return elevate({args.begin() + 1, args.end()});
    return usage();
}
