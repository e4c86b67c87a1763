# Hardening of everything the project builds, as Debian hardens its own
# packages: position-independent executables, a read-only relocation table
# bound at start-up (full RELRO, BIND_NOW), stack protector and fortified libc
# calls on ELF platforms; ASLR (high-entropy on 64-bit) and NX on Windows.
# TORVANIX_HARDENING=OFF builds without it, to compare.
option(TORVANIX_HARDENING "Build with stack protector, fortified libc calls, PIE, full RELRO" ON)

if(NOT TORVANIX_HARDENING)
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # GNU ld's defaults have changed between versions: say what the program needs.
  add_link_options(LINKER:--dynamicbase LINKER:--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(LINKER:--high-entropy-va)
  endif()
elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-fstack-protector-strong)
  # glibc checks buffer sizes in the libc calls it can see through, but only
  # when optimising; unoptimised it would warn about every file.
  add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
