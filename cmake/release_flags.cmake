# The flags the shipped DLL is built with, for it and for whatever must be built
# like it (the empty DLL and the program of the attach benchmark).
function(menupatch_release_flags target)
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
    -Wl,--subsystem,windows:5.01  # loads on the old Windows releases the game runs on
    -Wl,--major-os-version=5
    -Wl,--minor-os-version=1)
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
