# The libraries below the windows, as faq::odbc, faq::sqlite3 and faq::xlsxwriter: from
# pkg-config on Linux; on Windows the system's odbc32 and the sqlite3 and xlsxwriter found
# under CMAKE_PREFIX_PATH (a vcpkg tree, or the cross-built ones of scripts/test-windows).
if(WIN32)
  add_library(faq::odbc INTERFACE IMPORTED)
  target_link_libraries(faq::odbc INTERFACE odbc32)
  foreach(lib sqlite3 xlsxwriter)
    find_library(FAQ_${lib}_LIBRARY NAMES ${lib} REQUIRED)
    find_path(FAQ_${lib}_INCLUDE NAMES ${lib}.h REQUIRED)
    add_library(faq::${lib} UNKNOWN IMPORTED)
    set_target_properties(faq::${lib} PROPERTIES IMPORTED_LOCATION ${FAQ_${lib}_LIBRARY}
                                                 INTERFACE_INCLUDE_DIRECTORIES ${FAQ_${lib}_INCLUDE})
  endforeach()
  find_package(ZLIB REQUIRED)
  target_link_libraries(faq::xlsxwriter INTERFACE ZLIB::ZLIB)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ODBC REQUIRED IMPORTED_TARGET odbc)
  pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
  pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
  add_library(faq::odbc ALIAS PkgConfig::ODBC)
  add_library(faq::sqlite3 ALIAS PkgConfig::SQLITE3)
  add_library(faq::xlsxwriter ALIAS PkgConfig::XLSXWRITER)
endif()
