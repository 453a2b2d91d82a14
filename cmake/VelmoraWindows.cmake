# Settings of the Windows (MinGW-w64) build.

# A cross build cannot run its test programs while it builds: googletest cases
# are listed when the tests run, and scripts/windows/test.sh runs each test
# program whole under Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Files of the build tree that the tests read, named so a test under Wine
# finds them whatever its working folder (Wine shows the build machine's root
# as drive Z:). Empty in native builds.
if(CMAKE_CROSSCOMPILING)
  set(VELMORA_RUNTIME_ROOT "Z:")
endif()

# Windows headers: no min/max macros, and the wide-character API throughout.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0A00)
# gmtime_r and localtime_r, as MinGW offers them.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L)

# MinGW's GCC 12 at -O2 warns falsely about overlapping copies inside
# std::string's operator+ ("m" + std::to_string(i)): GCC bug 105329.
add_compile_options(-Wno-restrict)

# The fuzzing build needs clang's libFuzzer, which MinGW does not have. The
# controller emulator is built for Windows (it goes into the zip), but the
# Windows tests use the Linux emulator: two Wine programs cannot share a port.
list(APPEND VELMORA_SKIP tests/fuzz)

# Writes the list of test programs (kind and path, one a line) that
# scripts/windows/test.sh runs under Wine. Called once every folder is added.
function(velmora_write_windows_test_list)
  set(_lines "")
  set(_folders ${PROJECT_SOURCE_DIR})
  while(_folders)
    list(POP_FRONT _folders _folder)
    get_property(_sub DIRECTORY ${_folder} PROPERTY SUBDIRECTORIES)
    list(APPEND _folders ${_sub})
    get_property(_targets DIRECTORY ${_folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(_target IN LISTS _targets)
      get_target_property(_type ${_target} TYPE)
      if(NOT _type STREQUAL "EXECUTABLE")
        continue()
      endif()
      get_target_property(_libs ${_target} LINK_LIBRARIES)
      if("Qt6::Test" IN_LIST _libs)
        string(APPEND _lines "qtest $<TARGET_FILE:${_target}>\n")
      elseif(_libs MATCHES "GTest::")
        string(APPEND _lines "gtest $<TARGET_FILE:${_target}>\n")
      endif()
    endforeach()
  endwhile()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows-tests.txt CONTENT "${_lines}")
endfunction()

# Gives a Windows program its icon, version information and application
# manifest (UTF-8 code page, Windows 10/11, DPI awareness) from one template.
function(velmora_windows_resources target description)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(_ico ${CMAKE_BINARY_DIR}/res/windows/velmora.ico)
  if(NOT TARGET velmora_windows_icon)
    add_custom_command(
      OUTPUT ${_ico}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/res/windows
      COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/icon/png_to_ico.py
              ${PROJECT_SOURCE_DIR}/res/icons/velmora.png ${_ico}
      DEPENDS ${PROJECT_SOURCE_DIR}/tools/icon/png_to_ico.py ${PROJECT_SOURCE_DIR}/res/icons/velmora.png
      COMMENT "Building velmora.ico")
    add_custom_target(velmora_windows_icon DEPENDS ${_ico})
  endif()
  set(VELMORA_PROGRAM ${target})
  set(VELMORA_DESCRIPTION "${description}")
  set(VELMORA_ICON ${_ico})
  set(VELMORA_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/res/windows/program.manifest.in ${VELMORA_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/res/windows/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES
                              OBJECT_DEPENDS "${_ico};${VELMORA_MANIFEST}")
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  add_dependencies(${target} velmora_windows_icon)
endfunction()
