# Windows.cmake: ferrolift.dll for 64-bit Windows, cross-built with MinGW-w64 (the `windows`
# preset), and its tests under Wine. The component folders compile against MinGW's own
# Windows headers; the Linux platform layer is not in this build. Only the header-only
# owners of platform/common and the Windows side of the platform seam (platform/windows)
# join the component.
#
# The type library: a native configure of this same tree builds `ferrolift-idl` (the IDL
# writer over the one type description), widl compiles its output into ferrolift.tlb and
# the resource script embeds it as TYPELIB 1.

# The layers are the Linux build's: each folder's CMakeLists.txt names its sources and
# the layers below it. Only the platform differs: ferrolift-platform is here the Windows
# side of the seam (platform/windows) over the system's own DLLs, and platform/include is
# not on any include path, so <windows.h> and friends are MinGW's.
include(cmake/Layers.cmake)

add_library(ferrolift-platform-common INTERFACE)
ferrolift_include_root(ferrolift-platform-common INTERFACE platform/common)

add_library(ferrolift-platform STATIC
  ${CMAKE_SOURCE_DIR}/platform/windows/ContextInterfaceIds.cpp
  ${CMAKE_SOURCE_DIR}/platform/windows/Dispatch.cpp
  ${CMAKE_SOURCE_DIR}/platform/windows/SeTranslator.cpp)
ferrolift_include_root(ferrolift-platform PUBLIC platform)
# _CRT_RAND_S: MinGW's stdlib.h declares rand_s only when asked.
target_compile_definitions(ferrolift-platform PUBLIC UNICODE _UNICODE NOMINMAX _CRT_RAND_S)

set(FERROLIFT_WINDOWS_GENERATED ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${FERROLIFT_WINDOWS_GENERATED})

# --- The IDL, written by a native build of the IDL writer --------------------------------
include(ExternalProject)
set(FERROLIFT_HOST_TOOLS ${CMAKE_BINARY_DIR}/host-tools)
set(FERROLIFT_IDL_TOOL ${FERROLIFT_HOST_TOOLS}/bin/ferrolift-idl)
ExternalProject_Add(ferrolift-host-tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${FERROLIFT_HOST_TOOLS}
  CMAKE_ARGS
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DFERROLIFT_TESTS=OFF
    -DFERROLIFT_BENCH=OFF
    -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
    -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${FERROLIFT_HOST_TOOLS} --target ferrolift-idl
  INSTALL_COMMAND ""
  # The description may have changed: let the native build decide what is stale.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${FERROLIFT_IDL_TOOL})

set(FERROLIFT_IDL ${FERROLIFT_WINDOWS_GENERATED}/ferrolift.idl)
set(FERROLIFT_TLB ${CMAKE_BINARY_DIR}/bin/ferrolift.tlb)
# Written through a temporary so that an unchanged description leaves the .tlb alone.
add_custom_command(OUTPUT ${FERROLIFT_IDL}
  COMMAND ${FERROLIFT_IDL_TOOL} ${FERROLIFT_IDL}.new
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${FERROLIFT_IDL}.new ${FERROLIFT_IDL}
  DEPENDS ferrolift-host-tools ${FERROLIFT_IDL_TOOL}
  COMMENT "Writing the type library as IDL"
  VERBATIM)

# widl reads import "oaidl.idl" from Wine's IDL headers (Debian libwine-dev) and resolves
# importlib("stdole2.tlb") against Wine's copy of the standard library (wine64).
find_program(FERROLIFT_WIDL NAMES ${FERROLIFT_MINGW_TRIPLET}-widl widl REQUIRED)
find_path(FERROLIFT_OAIDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(FERROLIFT_STDOLE2_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(FERROLIFT_WIDL_FLAGS --win64 -t -I ${FERROLIFT_OAIDL_DIR} -L ${FERROLIFT_STDOLE2_DIR})
add_custom_command(OUTPUT ${FERROLIFT_TLB}
  COMMAND ${FERROLIFT_WIDL} ${FERROLIFT_WIDL_FLAGS} -o ${FERROLIFT_TLB} ${FERROLIFT_IDL}
  DEPENDS ${FERROLIFT_IDL}
  COMMENT "Compiling the type library with widl"
  VERBATIM)
add_custom_target(ferrolift-tlb ALL DEPENDS ${FERROLIFT_TLB})

# --- The DLL --------------------------------------------------------------------------
find_program(FERROLIFT_DLLTOOL NAMES ${FERROLIFT_MINGW_TRIPLET}-dlltool REQUIRED)
set(FERROLIFT_COMSVCS_IMPORTS ${FERROLIFT_WINDOWS_GENERATED}/libcomsvcs-context.a)
add_custom_command(OUTPUT ${FERROLIFT_COMSVCS_IMPORTS}
  COMMAND ${FERROLIFT_DLLTOOL} -d ${CMAKE_SOURCE_DIR}/cmake/windows/comsvcs-imports.def -l ${FERROLIFT_COMSVCS_IMPORTS}
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/windows/comsvcs-imports.def
  COMMENT "Import library for comsvcs.dll's GetObjectContext"
  VERBATIM)
add_custom_target(ferrolift-comsvcs-imports DEPENDS ${FERROLIFT_COMSVCS_IMPORTS})

# The event log's message table: ANSI entries, as the event log reads them.
find_program(FERROLIFT_WINDMC NAMES ${FERROLIFT_MINGW_TRIPLET}-windmc REQUIRED)
set(FERROLIFT_MESSAGES ${FERROLIFT_WINDOWS_GENERATED}/messages.rc ${FERROLIFT_WINDOWS_GENERATED}/MSG00409.bin)
add_custom_command(OUTPUT ${FERROLIFT_MESSAGES}
  COMMAND ${FERROLIFT_WINDMC} -A -h ${FERROLIFT_WINDOWS_GENERATED} -r ${FERROLIFT_WINDOWS_GENERATED}
          ${CMAKE_SOURCE_DIR}/cmake/windows/messages.mc
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/windows/messages.mc
  COMMENT "Compiling the event log's message table"
  VERBATIM)
add_custom_target(ferrolift-messages DEPENDS ${FERROLIFT_MESSAGES})

enable_language(RC)
set(FERROLIFT_RC ${FERROLIFT_WINDOWS_GENERATED}/ferrolift.rc)
configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/ferrolift.rc.in ${FERROLIFT_RC} @ONLY)
set_source_files_properties(${FERROLIFT_RC} PROPERTIES OBJECT_DEPENDS "${FERROLIFT_TLB};${FERROLIFT_MESSAGES}")

target_link_libraries(ferrolift-platform PUBLIC ferrolift-platform-common ${FERROLIFT_COMSVCS_IMPORTS}
                      oleaut32 ole32 uuid advapi32)
add_dependencies(ferrolift-platform ferrolift-comsvcs-imports)

foreach(layer support decode progress intake objects server)
  add_subdirectory(${layer})
endforeach()

# No lib prefix: scripts and regsvr32 know the module as ferrolift.dll. The C++ runtime
# is linked in so that the DLL needs nothing beside Windows' own DLLs.
add_library(ferrolift SHARED $<TARGET_OBJECTS:ferrolift-server> ${FERROLIFT_RC}
            ${CMAKE_SOURCE_DIR}/server/ferrolift.def)
add_dependencies(ferrolift ferrolift-tlb ferrolift-messages)
# The resource script finds the message table's files here.
target_include_directories(ferrolift PRIVATE ${FERROLIFT_WINDOWS_GENERATED})
target_link_libraries(ferrolift PRIVATE ferrolift-objects)
set_target_properties(ferrolift PROPERTIES PREFIX "" OUTPUT_NAME ferrolift)
target_link_options(ferrolift PRIVATE -static -static-libgcc -static-libstdc++)

if(FERROLIFT_WINE_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
