# Each library exports only its own folder: its headers are included by that folder's name
# ("agreement/x.h", "doc/x.h"), and the folder is found only by targets that link the library.
# The include root a library exports holds nothing but a link to that one folder:
#   <build>/include/<name>/<name> -> <source>/<folder>
#   brindlewick_export_folder(TARGET FOLDER), FOLDER relative to the source root; an INTERFACE
#   library exports it as such, any other publicly.
function(brindlewick_export_folder target folder)
  get_filename_component(name ${folder} NAME)
  set(root ${PROJECT_BINARY_DIR}/include/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${name} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
