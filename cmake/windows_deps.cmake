# What the Windows cross-build takes from the build machine's Debian packages, which ship these
# libraries for the build machine only: GoogleTest is built from its sources (libgtest-dev
# ships them), fmt is used header-only and CLI11 is header-only anyway. Only the library's own
# folder is put on the include path, never the build machine's /usr/include.
set(SK_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${SK_HOST_HEADERS})
foreach(lib fmt CLI nlohmann)
  if(NOT EXISTS /usr/include/${lib})
    message(FATAL_ERROR "/usr/include/${lib} missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${lib} ${SK_HOST_HEADERS}/${lib} SYMBOLIC)
endforeach()

add_library(sk_fmt_header_only INTERFACE)
target_include_directories(sk_fmt_header_only SYSTEM INTERFACE ${SK_HOST_HEADERS})
target_compile_definitions(sk_fmt_header_only INTERFACE FMT_HEADER_ONLY)
add_library(fmt::fmt ALIAS sk_fmt_header_only)

add_library(sk_cli11_headers INTERFACE)
target_include_directories(sk_cli11_headers SYSTEM INTERFACE ${SK_HOST_HEADERS})
add_library(CLI11::CLI11 ALIAS sk_cli11_headers)

add_library(sk_json_headers INTERFACE)
target_include_directories(sk_json_headers SYSTEM INTERFACE ${SK_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json ALIAS sk_json_headers)

if(SK_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()
