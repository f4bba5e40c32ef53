# The flags the shipped DLL is built with, for it and for whatever must be built
# like it (the empty DLL and the program of the attach benchmark). SUBSYSTEM
# KIND:VERSION for another than the DLL's windows:5.01: the lowest release that
# has everything the file imports.
function(menupatch_release_flags target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SUBSYSTEM" "")
  if(NOT arg_SUBSYSTEM)
    set(arg_SUBSYSTEM windows:5.01)  # loads on the old Windows releases the game runs on
  endif()
  string(REGEX REPLACE "^.*:" "" os_version ${arg_SUBSYSTEM})
  string(REPLACE "." ";" os_version ${os_version})
  list(GET os_version 0 os_major)
  list(GET os_version 1 os_minor)
  # No exceptions pass through the plug-in, so it needs no unwind tables.
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti
    -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
  target_link_options(${target} PRIVATE
    -static                       # a player has no mingw runtime DLLs
    -s
    -Wl,--gc-sections
    -Wl,--no-insert-timestamp     # the same sources give the same bytes
    -Wl,--dynamicbase
    -Wl,--nxcompat
    -Wl,--no-seh                  # no exception handler in the image: nothing for SafeSEH to check
    -Wl,--subsystem,${arg_SUBSYSTEM}
    -Wl,--major-os-version=${os_major}
    -Wl,--minor-os-version=${os_minor})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set_target_properties(${target} PROPERTIES PREFIX "")
    target_link_options(${target} PRIVATE
      -Wl,--exclude-all-symbols   # the plug-in offers no calls
      -Wl,--image-base=0x10000000)  # not hashed from the build folder
  endif()
endfunction()

# A DLL with no run-time start-up code: the loader calls DllMain itself. There
# are no static constructors, thread-local data or exceptions to set up, and
# msvcrt.dll initialises itself before our entry runs. IMPORTS names the import
# libraries it may use, nothing else is linked in.
function(menupatch_bare_dll target)
  target_link_options(${target} PRIVATE
    -nostartfiles -nodefaultlibs
    -Wl,--entry,_DllMain@12)
  set_target_properties(${target} PROPERTIES CXX_STANDARD_LIBRARIES "")
  target_link_libraries(${target} PRIVATE ${ARGN})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # A static constructor would never run without the start-up code: refuse it.
    target_compile_options(${target} PRIVATE -Wglobal-constructors -Wexit-time-destructors)
  endif()
endfunction()

# Version information, and for a program its application manifest: one resource
# script per file, from the one version in project().
#   menupatch_resources(TARGET DESCRIPTION FILE_NAME VFT_APP|VFT_DLL [MANIFEST file])
function(menupatch_resources target description file_name file_type)
  cmake_parse_arguments(PARSE_ARGV 4 arg "" "MANIFEST" "")
  set(MENUPATCH_DESCRIPTION "${description}")
  set(MENUPATCH_FILE_NAME "${file_name}")
  get_filename_component(MENUPATCH_INTERNAL_NAME "${file_name}" NAME_WE)
  set(MENUPATCH_FILE_TYPE ${file_type})
  set(MENUPATCH_MANIFEST_RESOURCE "")
  if(arg_MANIFEST)
    set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${MENUPATCH_INTERNAL_NAME}.manifest)
    configure_file(${arg_MANIFEST} ${manifest} @ONLY)
    # 1 is the id Windows looks for in a program (CREATEPROCESS_MANIFEST_RESOURCE_ID), 24 RT_MANIFEST.
    set(MENUPATCH_MANIFEST_RESOURCE "1 24 \"${MENUPATCH_INTERNAL_NAME}.manifest\"")
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${MENUPATCH_INTERNAL_NAME}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/resources.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
endfunction()
