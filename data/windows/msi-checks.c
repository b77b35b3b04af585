/* The MSI's checks before it changes anything: a custom action (FaqueryChecks, immediate,
 * early in the install sequence) that says no, as the setup program does, where going on
 * would break a desk:
 *  - while faquery runs in any session (its files would be replaced or removed in use);
 *  - installing on Windows older than 10 (Qt 6 does not start there);
 *  - beside the setup program's install (for all users, or for the user who runs this):
 *    two copies in one folder, two entries, each removing the other's files;
 *  - a preset holding a double quote (it cannot go into the shortcut's arguments);
 *  - DATABASE given as if it were the database's name: Windows Installer keeps that
 *    property for the package's own path, the database's name is DBNAME.
 * Each refusal is a message (a box with the basic or the full interface, a line of the log
 * with /qn) and ends the installation with 1603. Built with mingw-w64 by scripts/msi. */
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <wchar.h>

#define NSIS_KEY L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\faquery"

/* The property's value, or an empty string; freed with HeapFree. */
static wchar_t* property(MSIHANDLE install, const wchar_t* name) {
    DWORD size = 0;
    wchar_t probe[1] = {0};
    UINT r = MsiGetPropertyW(install, name, probe, &size);
    wchar_t* value = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (size + 1) * sizeof(wchar_t));
    if (!value) return NULL;
    if (r == ERROR_MORE_DATA) {
        ++size;
        if (MsiGetPropertyW(install, name, value, &size) != ERROR_SUCCESS) value[0] = 0;
    }
    return value;
}

static int hasProperty(MSIHANDLE install, const wchar_t* name) {
    wchar_t* value = property(install, name);
    int has = value && value[0];
    if (value) HeapFree(GetProcessHeap(), 0, value);
    return has;
}

/* Shows or logs the text; returns the button pressed (0 without an interface). */
static int say(MSIHANDLE install, UINT buttons, const wchar_t* text) {
    MSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringW(record, 0, L"[1]");
    MsiRecordSetStringW(record, 1, text);
    int pressed = MsiProcessMessage(install, (INSTALLMESSAGE)(INSTALLMESSAGE_ERROR | buttons), record);
    MsiCloseHandle(record);
    return pressed;
}

static UINT refuse(MSIHANDLE install, const wchar_t* text) {
    say(install, MB_OK | MB_ICONERROR, text);
    return ERROR_INSTALL_FAILURE;
}

/* A mutex of another user's may be closed to this one (access denied): it exists. */
static int mutexExists(const wchar_t* name) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (mutex) {
        CloseHandle(mutex);
        return 1;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

static int running(void) {
    return mutexExists(L"Global\\faquery-running") || mutexExists(L"faquery-running");
}

/* The version Windows is, not the one it tells a program without a manifest. */
static int atLeastWindows10(void) {
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOW*);
    RtlGetVersionFn get = (RtlGetVersionFn)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!get || get(&info) != 0) return 1; /* unknown: the program will say it at start */
    return info.dwMajorVersion >= 10;
}

/* The setup program's install folder under HKLM (all users) or HKCU (this user). */
static int setupInstall(HKEY root, wchar_t* folder, DWORD size) {
    HKEY key;
    if (RegOpenKeyExW(root, NSIS_KEY, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return 0;
    DWORD type = 0, bytes = size * sizeof(wchar_t);
    LONG r = RegQueryValueExW(key, L"InstallLocation", NULL, &type, (BYTE*)folder, &bytes);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) return 0;
    folder[size - 1] = 0;
    return folder[0] != 0;
}

/* The package's own path is a file that exists (wherever it was started from, or Windows
 * Installer's cached copy); a database's name given as DATABASE is not. */
static int isFile(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

__declspec(dllexport) UINT __stdcall FaqueryChecks(MSIHANDLE install) {
    wchar_t text[1024];
    wchar_t* remove = property(install, L"REMOVE");
    const int removing = remove && _wcsicmp(remove, L"ALL") == 0;
    if (remove) HeapFree(GetProcessHeap(), 0, remove);
    /* Removed by a newer version's upgrade: that one has asked already. */
    if (!hasProperty(install, L"UPGRADINGPRODUCTCODE")) {
        while (running()) {
            int pressed = say(install, MB_RETRYCANCEL | MB_ICONWARNING,
                              removing ? L"固定资产查询正在运行（也许在这台电脑的另一个用户那里，或在命令行中）。"
                                         L"请先关闭它，再按“重试”卸载。"
                                       : L"固定资产查询正在运行（也许在这台电脑的另一个用户那里，或在命令行中）。"
                                         L"请先关闭它，再按“重试”安装。");
            if (pressed != IDRETRY) return ERROR_INSTALL_FAILURE;
        }
    }
    if (removing) return ERROR_SUCCESS;
    if (!atLeastWindows10())
        return refuse(install, L"固定资产查询需要 Windows 10 或更新的版本（64 位）；"
                               L"这台电脑上的 Windows 太旧，程序无法启动。");
    /* The setup program's install for all users, or for the user who runs this. */
    static const struct {
        HKEY root;
        const wchar_t* format;
    } setups[] = {
        {HKEY_LOCAL_MACHINE, L"这台电脑上已经用安装程序（faquery-…-setup.exe）为所有用户安装了固定资产查询（%ls）。"
                             L"请先在“设置 → 应用”中卸载它，再用 MSI 安装包安装，不要在同一台电脑上装两份。"},
        {HKEY_CURRENT_USER, L"这个用户已经用安装程序只为自己安装了固定资产查询（%ls）。"
                            L"请先在“设置 → 应用”中卸载它，再用 MSI 安装包为所有用户安装。"},
    };
    wchar_t folder[MAX_PATH + 1];
    for (int i = 0; i < 2; ++i)
        if (setupInstall(setups[i].root, folder, MAX_PATH + 1)) {
            swprintf(text, 1024, setups[i].format, folder);
            return refuse(install, text);
        }
    static const wchar_t* presets[] = {L"SERVER", L"DBNAME", L"USER", L"DRIVER"};
    for (int i = 0; i < 4; ++i) {
        wchar_t* value = property(install, presets[i]);
        const int quoted = value && wcschr(value, L'"');
        if (value) HeapFree(GetProcessHeap(), 0, value);
        if (quoted) {
            swprintf(text, 1024, L"%ls= 的值中不能有双引号。", presets[i]);
            return refuse(install, text);
        }
    }
    wchar_t* database = property(install, L"DATABASE");
    const int notPackage = database && database[0] && !isFile(database);
    if (notPackage) {
        swprintf(text, 1024,
                 L"DATABASE=%ls 不是数据库名的预设：DATABASE 是 Windows Installer 自己的属性（安装包的路径）。"
                 L"请用 DBNAME=%ls 预设数据库名。",
                 database, database);
    }
    if (database) HeapFree(GetProcessHeap(), 0, database);
    return notPackage ? refuse(install, text) : ERROR_SUCCESS;
}
