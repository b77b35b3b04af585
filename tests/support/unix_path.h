// A file's name as programs of the host see it: under Wine, its Unix name (the drivers and
// the interpreters the tests start are the host's); elsewhere the name itself.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <string>

namespace faq::test {

inline std::string unixPath(const std::string& path) {
#ifdef _WIN32
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return path;
    std::wstring wide(path.size() + 1, L'\0');  // the name is UTF-8
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    char* name = unixName(wide.c_str());
    if (!name) return path;
    std::string out(name);
    HeapFree(GetProcessHeap(), 0, name);
    return out;
#else
    return path;
#endif
}

}  // namespace faq::test
