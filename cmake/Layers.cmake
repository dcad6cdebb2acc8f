# Layers: every folder of the product is a library with an include root of its own, a
# folder in the build tree that holds a single link named like the source folder. Code
# writes "intake/Multipart.h"; that resolves only in targets that link the intake layer,
# so an include of a layer that is not below fails to compile instead of creeping in.

# ferrolift_include_root(<target> <INTERFACE|PUBLIC|PRIVATE> <name> [<folder>])
# Makes <folder> (relative to the source root; <name> when not given) includable as
# "<name>/File.h" by <target> and, unless PRIVATE, by what links it.
function(ferrolift_include_root target scope name)
  set(folder ${name})
  if(ARGC GREATER 3)
    set(folder ${ARGV3})
  endif()
  string(REPLACE "/" "-" root_name ${folder})
  set(root ${CMAKE_BINARY_DIR}/include-roots/${root_name})
  get_filename_component(parent ${root}/${name} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${name})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${name} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# ferrolift_layer(<name> [OBJECT] SOURCES <file>... [DEPENDS <target>...])
# The static library ferrolift-<name> (an object library with OBJECT) built from
# <name>/<file>..., includable as "<name>/X.h", linking the layers it stands on.
function(ferrolift_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "OBJECT" "" "SOURCES;DEPENDS")
  list(TRANSFORM arg_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/${name}/)
  set(kind STATIC)
  if(arg_OBJECT)
    set(kind OBJECT)
  endif()
  add_library(ferrolift-${name} ${kind} ${arg_SOURCES})
  ferrolift_include_root(ferrolift-${name} PUBLIC ${name})
  target_link_libraries(ferrolift-${name} PUBLIC ${arg_DEPENDS})
endfunction()
