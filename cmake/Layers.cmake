# Sources include headers by their path from the source root ("platform/X.h",
# "Library/Common/Y.h"), but no layer has the source root as include path.
# Each gets a folder of its own in the build tree holding links to its own
# source folders, and sees the layers below through the targets it links: an
# include of a higher layer's header fails to compile.

#   ostrakel_layer_folders(TARGET PUBLIC|PRIVATE FOLDER...)
function(ostrakel_layer_folders target scope)
  set(dir ${CMAKE_BINARY_DIR}/layers/${target})
  file(MAKE_DIRECTORY ${dir})
  foreach(folder IN LISTS ARGN)
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${dir})
endfunction()

# A test that compiles a file including HEADER with TARGET's include path
# and passes only when the compiler cannot find that header.
#   ostrakel_forbid_include(TARGET HEADER)
function(ostrakel_forbid_include target header)
  string(MAKE_C_IDENTIFIER "${target}_${header}" name)
  set(source ${CMAKE_BINARY_DIR}/layers/checks/${name}.cpp)
  file(WRITE ${source} "#include \"${header}\"\n")
  get_filename_component(folder ${header} DIRECTORY)
  string(REGEX REPLACE "/.*" "" folder ${folder})
  add_test(NAME layers.${target}-includes-${folder}
           COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only
                   "-I$<JOIN:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>,;-I>" ${source}
           COMMAND_EXPAND_LISTS)
  string(REPLACE "." "\\." pattern ${header})
  # GCC says "No such file or directory", clang "file not found".
  set_tests_properties(layers.${target}-includes-${folder} PROPERTIES
    PASS_REGULAR_EXPRESSION "${pattern}'?:? (No such file|file not found)")
endfunction()
