# The header-only libraries of the command line: CLI11 (argument parsing) and
# nlohmann-json (check's JSON). A native build takes them from their CMake
# packages. A cross build takes the same headers from the build machine, but
# through a folder that holds only them: adding the build machine's whole
# /usr/include would put its C library's headers before the cross compiler's.
if(CMAKE_CROSSCOMPILING)
  set(gw_header_only ${CMAKE_BINARY_DIR}/header_only)
  file(MAKE_DIRECTORY ${gw_header_only})
  foreach(folder CLI nlohmann)
    if(NOT EXISTS /usr/include/${folder})
      message(FATAL_ERROR "/usr/include/${folder} is missing: install libcli11-dev and nlohmann-json3-dev")
    endif()
    file(CREATE_LINK /usr/include/${folder} ${gw_header_only}/${folder} SYMBOLIC)
  endforeach()
  foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${gw_header_only})
  endforeach()
else()
  find_package(CLI11 REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
endif()
