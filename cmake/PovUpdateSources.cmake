# The library's sources, shared by every build of it; the exports
# (interface/exports.cpp) go straight into the shared library and the tests.
set(POVUPDATE_CORE_SOURCES
  config/config_context.cpp
  config/os_version.cpp
  config/text_trim.cpp
  config/update_list.cpp
  config/local_config.cpp
  config/install_path.cpp
  platform/allocator.cpp
  platform/module_directory.cpp
  platform/profile_file.cpp
  platform/public_keys.cpp
  platform/signed_file.cpp
  platform/registry_store.cpp
  platform/text.cpp
)
# How profile files read, line by line and out of UTF-16LE, and how Windows
# edits them: the Linux profile service, the library's checks of the names
# it writes and the command-line host's update-file checker and editor share
# it.
set(POVUPDATE_PROFILE_SYNTAX_SOURCES platform/profile_syntax.cpp platform/utf16_text.cpp
  platform/ini_document.cpp)
# The Linux backend of the Win32 services, everything in platform/linux; on
# Windows, what the system's services lack, everything in platform/windows.
file(GLOB POVUPDATE_LINUX_BACKEND_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../platform/linux/*.cpp)
file(GLOB POVUPDATE_WINDOWS_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../platform/windows/*.cpp)

# The library's sources that keep nothing between calls and that the
# command-line host compiles in too, the shared library exporting only its
# seven functions: where the library's files are, the lock and the
# replacement of its profile writes, the signature's format and check (the
# system's cryptography is loaded once per copy, and holds nothing of the
# library's files) and, on Linux, the registry store file's place and format,
# which update reads the stored install directory from. Nothing else of the library's code goes into the
# host, so a process has one profile cache and one registry table.
set(POVUPDATE_STATELESS_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../platform/module_directory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../platform/signed_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../platform/public_keys.cpp)
if(WIN32)
  list(APPEND POVUPDATE_STATELESS_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../platform/windows/profile_write_lock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../platform/windows/system_crypto.cpp)
else()
  list(APPEND POVUPDATE_STATELESS_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../platform/linux/system_crypto.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../platform/linux/atomic_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../platform/linux/environment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../platform/linux/module_path.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../platform/linux/registry_file.cpp)
endif()

# povupdate_add_core(<target> <fault-injection ON|OFF>): a static library of
# the library's code; the shipped library and the tests link it.
function(povupdate_add_core target fault_injection)
  add_library(${target} STATIC ${POVUPDATE_CORE_SOURCES})
  target_link_libraries(${target} PUBLIC povupdate_profile_syntax)
  if(WIN32)
    target_sources(${target} PRIVATE ${POVUPDATE_WINDOWS_SOURCES})
  else()
    target_sources(${target} PRIVATE ${POVUPDATE_LINUX_BACKEND_SOURCES})
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/interface)
  target_compile_definitions(${target} PUBLIC POVUPDATE_BUILD)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  if(fault_injection)
    target_compile_definitions(${target} PUBLIC POVUPDATE_FAULT_INJECTION)
  endif()
  if(WIN32)
    target_link_libraries(${target} PUBLIC ole32 advapi32)
  endif()
endfunction()
