# Build settings shared by every target, the GoogleTest build, and the test
# registration helpers (native tests run directly, Windows tests under Wine).

set(QEL_WARNINGS -Wall -Wextra)

if(WIN32)
  # A build tree keeps the compiler it was first configured with, also when
  # the toolchain file names another one since (the thread model changed).
  get_filename_component(qel_cxx_name "${CMAKE_CXX_COMPILER}" NAME)
  if(DEFINED QEL_CXX_COMPILER AND NOT qel_cxx_name STREQUAL QEL_CXX_COMPILER)
    message(FATAL_ERROR "${CMAKE_BINARY_DIR} was configured with ${qel_cxx_name}, the toolchain file now "
                        "names ${QEL_CXX_COMPILER}: configure the tree anew (cmake --fresh, or delete it)")
  endif()
  # 8-bit (ANSI) build against the Windows XP API level, also for x64 (XP x64
  # and Server 2003 are 0x0502 but offer nothing we need beyond XP), with the
  # common controls of IE 6 / XP. tests/xp-imports.txt checks what the shipped
  # binaries import.
  add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0600 WIN32_LEAN_AND_MEAN NOMINMAX)
  # Stack protection: a guard word behind the local arrays of every function
  # that has any, checked on return, and, where the compiler knows the size of
  # the destination, checked copies and formats (_FORTIFY_SOURCE, in effect
  # with optimisation). Guard and failure handlers are common/stackguard.cpp,
  # in every program and module (-u takes it before libssp's); the checked
  # copies come from GCC's libssp, linked statically like the rest.
  add_compile_options(-fstack-protector-strong)
  add_compile_definitions(_FORTIFY_SOURCE=2)
  add_library(qelstackguard STATIC ${CMAKE_SOURCE_DIR}/common/stackguard.cpp)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(qel_c_symbol_prefix _)
  endif()
  target_link_options(qelstackguard INTERFACE -Wl,-u,${qel_c_symbol_prefix}__stack_chk_guard)
  target_link_libraries(qelstackguard INTERFACE ssp)
  link_libraries(qelstackguard)
  set(QEL_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
  set(QEL_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run)
  set(QEL_WINE_ENV ${CMAKE_SOURCE_DIR}/cmake/wine-env)
  # Every cross-built executable that CMake or CTest runs goes through Wine.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEL_WINE_RUN} ${QEL_WINE_DIR})
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QEL_TARGET_NAME win64)
  else()
    set(QEL_TARGET_NAME win32)
  endif()
else()
  set(QEL_TARGET_NAME native)
  if(QEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
  # Memcheck runs the tests of a build without sanitizers (build/native-plain).
  if(QEL_VALGRIND)
    if(QEL_SANITIZE OR QEL_FUZZ)
      message(FATAL_ERROR "QEL_VALGRIND needs a build without QEL_SANITIZE and QEL_FUZZ")
    endif()
    find_program(QEL_VALGRIND_PROGRAM valgrind REQUIRED)
    set(QEL_VALGRIND_COMMAND ${QEL_VALGRIND_PROGRAM} --error-exitcode=1 --leak-check=full --quiet)
  endif()
endif()

# GoogleTest from the distribution's source package, built for this target.
if(NOT TARGET gtest)
  set(QEL_GTEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources")
  set(gtest_disable_pthreads ${WIN32} CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QEL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/third_party/gtest EXCLUDE_FROM_ALL)
  if(WIN32)
    # The win32 thread model has no std::mutex: GoogleTest's Notification
    # comes from its customization header (cmake/mingw-common.cmake).
    set(QEL_GTEST_WIN32 ${CMAKE_SOURCE_DIR}/tests/support/gtest-win32)
    target_include_directories(gtest BEFORE PUBLIC ${QEL_GTEST_WIN32})
    target_sources(gtest PRIVATE ${QEL_GTEST_WIN32}/notification.cpp)
  endif()
endif()

# The binaries we deliver. The imports test (tests/CMakeLists.txt) checks each
# against the functions Windows XP and Server 2003 export
# (tests/xp-imports.txt); add a new program or module here when it ships.
set(QEL_SHIPPED_TARGETS qelcrypt kvocheck qelcrypthost)

# Host programs that produce reference data with OpenSSL. They always run on
# the build machine, also in the cross builds, so the Windows tests are checked
# against the same independent implementation as the native ones.
set(QEL_HOST_CXX c++ CACHE STRING "Compiler for build-machine tools")
set(QEL_REFDATA ${CMAKE_BINARY_DIR}/refdata)

if(WIN32)
  # The test data directory as a Windows program sees it (drive Z: is /).
  set(QEL_REFDATA_RUNTIME "Z:${QEL_REFDATA}")
else()
  set(QEL_REFDATA_RUNTIME "${QEL_REFDATA}")
endif()

add_custom_command(
  OUTPUT ${QEL_REFDATA}/openssl-vectors.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QEL_REFDATA}
  COMMAND ${QEL_HOST_CXX} -O2 -std=c++17 -o ${QEL_REFDATA}/refgen
          ${CMAKE_SOURCE_DIR}/tests/tools/refgen.cpp -lcrypto
  COMMAND ${QEL_REFDATA}/refgen ${QEL_REFDATA}/openssl-vectors.txt
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/refgen.cpp
  COMMENT "Generating OpenSSL reference vectors"
  VERBATIM)
add_custom_target(refdata ALL DEPENDS ${QEL_REFDATA}/openssl-vectors.txt)

if(WIN32)
  # The x86 tree's prefix runs x86 programs, also where they are emulated.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(qel_wine_x86 x86)
  endif()
  add_test(NAME wine.start COMMAND ${QEL_WINE_ENV} start ${QEL_WINE_DIR} ${qel_wine_x86})
  add_test(NAME wine.stop COMMAND ${QEL_WINE_ENV} stop ${QEL_WINE_DIR})
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
  add_custom_target(wine-reset
    COMMAND ${QEL_WINE_ENV} reset ${QEL_WINE_DIR} ${qel_wine_x86}
    COMMENT "Recreating the Wine prefix of this build tree"
    USES_TERMINAL)
endif()

# qel_warnings(target): our own code builds warning-free with -Wall -Wextra.
function(qel_warnings target)
  target_compile_options(${target} PRIVATE ${QEL_WARNINGS})
endfunction()

# qel_add_gtest(name SOURCES ... [LIBS ...] [LABELS ...])
# One executable per group of related cases; CTest runs it once (under Wine
# for the Windows targets) and GoogleTest reports the cases.
function(qel_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES}
    ${CMAKE_SOURCE_DIR}/tests/support/test_main.cpp ${CMAKE_SOURCE_DIR}/tests/support/refdata.cpp)
  target_link_libraries(${name} PRIVATE gtest ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE QEL_REFDATA_DIR="${QEL_REFDATA_RUNTIME}")
  if(WIN32)
    # Scratch directories and plain file access (tests/support/scratchdir.h).
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/scratchdir.cpp)
  endif()
  qel_warnings(${name})
  add_dependencies(${name} refdata)
  # Each run leaves a JUnit report; scripts/test adds the cases up.
  if(WIN32)
    set(report "Z:${CMAKE_BINARY_DIR}/test-results/${name}.xml")
  else()
    set(report "${CMAKE_BINARY_DIR}/test-results/${name}.xml")
  endif()
  # Under valgrind (QEL_VALGRIND) any memory error or leak fails the test.
  set(run ${name})
  if(QEL_VALGRIND AND NOT WIN32)
    set(run ${QEL_VALGRIND_COMMAND} $<TARGET_FILE:${name}>)
  endif()
  add_test(NAME ${QEL_TARGET_NAME}.${name} COMMAND ${run} --gtest_brief=1 --gtest_output=xml:${report})
  set_tests_properties(${QEL_TARGET_NAME}.${name} PROPERTIES LABELS "${ARG_LABELS}")
  if(WIN32)
    set_tests_properties(${QEL_TARGET_NAME}.${name} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()

if(QEL_FUZZ AND NOT WIN32)
  # Coverage instrumentation for the library code the fuzzers reach.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
