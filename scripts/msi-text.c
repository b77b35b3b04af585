/* Writes the Chinese texts of an MSI that wixl built with ASCII stand-ins: sets the
 * database's code page (936, the one Simplified Chinese Windows reads), then runs each
 * SQL statement given (UTF-8 on the command line, e.g. UPDATE `Shortcut` SET `Name` = '…'
 * WHERE `Shortcut` = 'Program') through Windows Installer itself, and commits. Built with
 * mingw-w64 and run under Wine by scripts/package-windows: wixl 0.101 loses or crashes on
 * text outside Latin-1 in the tables.
 * Usage: msi-text.exe PACKAGE.msi STATEMENT... ; exit code 0 on success. */
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <stdio.h>
#include <wchar.h>

static int fail(const wchar_t* what, UINT r) {
    fwprintf(stderr, L"msi-text: %ls: error %u\n", what, r);
    return 1;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return fail(L"usage: msi-text PACKAGE.msi STATEMENT...", 0);
    MSIHANDLE db = 0;
    UINT r = MsiOpenDatabaseW(argv[1], MSIDBOPEN_TRANSACT, &db);
    if (r != ERROR_SUCCESS) return fail(L"open", r);
    /* The code page goes in as the one-line table _ForceCodepage, imported from a folder. */
    wchar_t dir[MAX_PATH], idt[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    swprintf(idt, MAX_PATH, L"%lsfaquery-codepage.idt", dir);
    FILE* f = _wfopen(idt, L"wb");
    if (!f) return fail(L"codepage file", GetLastError());
    fputs("\r\n\r\n936\t_ForceCodepage\r\n", f);
    fclose(f);
    r = MsiDatabaseImportW(db, dir, L"faquery-codepage.idt");
    DeleteFileW(idt);
    if (r != ERROR_SUCCESS) return fail(L"code page", r);
    for (int i = 2; i < argc; ++i) {
        MSIHANDLE view = 0;
        r = MsiDatabaseOpenViewW(db, argv[i], &view);
        if (r == ERROR_SUCCESS) r = MsiViewExecute(view, 0);
        if (view) MsiCloseHandle(view);
        if (r != ERROR_SUCCESS) return fail(argv[i], r);
    }
    r = MsiDatabaseCommit(db);
    MsiCloseHandle(db);
    return r == ERROR_SUCCESS ? 0 : fail(L"commit", r);
}
