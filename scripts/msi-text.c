/* Writes the Chinese texts of an MSI that wixl built with ASCII stand-ins: sets the
 * database's code page (936, the one Simplified Chinese Windows reads), then runs each
 * SQL statement given (UTF-8 on the command line, e.g. UPDATE `Shortcut` SET `Name` = '…'
 * WHERE `Shortcut` = 'Program') through Windows Installer itself, and commits. Built with
 * mingw-w64 and run under Wine by scripts/package-windows: wixl 0.101 loses or crashes on
 * text outside Latin-1 in the tables.
 * An argument summary:N=TEXT sets the summary information's property N instead (2 title,
 * 3 subject, 4 author, 5 keywords, 6 comments), in the same code page.
 * Usage: msi-text.exe PACKAGE.msi STATEMENT|summary:N=TEXT... ; exit code 0 on success. */
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
    MSIHANDLE summary = 0;
    r = MsiGetSummaryInformationW(db, NULL, 20, &summary);
    if (r != ERROR_SUCCESS) return fail(L"summary information", r);
    r = MsiSummaryInfoSetPropertyW(summary, PID_CODEPAGE, VT_I2, 936, NULL, NULL);
    if (r != ERROR_SUCCESS) return fail(L"summary code page", r);
    for (int i = 2; i < argc; ++i) {
        if (wcsncmp(argv[i], L"summary:", 8) == 0) {
            wchar_t* text = NULL;
            UINT pid = (UINT)wcstoul(argv[i] + 8, &text, 10);
            if (*text != L'=') return fail(argv[i], 0);
            /* Its strings are bytes in the code page above; converted here, not by the
             * system's ANSI code page (which need not be 936). */
            char bytes[1024];
            if (!WideCharToMultiByte(936, 0, text + 1, -1, bytes, sizeof bytes, NULL, NULL))
                return fail(argv[i], GetLastError());
            r = MsiSummaryInfoSetPropertyA(summary, pid, VT_LPSTR, 0, NULL, bytes);
            if (r != ERROR_SUCCESS) return fail(argv[i], r);
            continue;
        }
        MSIHANDLE view = 0;
        r = MsiDatabaseOpenViewW(db, argv[i], &view);
        if (r == ERROR_SUCCESS) r = MsiViewExecute(view, 0);
        if (view) MsiCloseHandle(view);
        if (r != ERROR_SUCCESS) return fail(argv[i], r);
    }
    r = MsiSummaryInfoPersist(summary);
    MsiCloseHandle(summary);
    if (r != ERROR_SUCCESS) return fail(L"summary persist", r);
    r = MsiDatabaseCommit(db);
    MsiCloseHandle(db);
    return r == ERROR_SUCCESS ? 0 : fail(L"commit", r);
}
