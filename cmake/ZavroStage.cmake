# The staged install tree (build/<preset>/stage): bin, lib, PlugIns, SharedSupport, Configuration, Resources.

set(ZAVRO_STAGE_DIR ${CMAKE_BINARY_DIR}/stage)
set(ZAVRO_STAGE_BIN ${ZAVRO_STAGE_DIR}/bin)
set(ZAVRO_STAGE_LIB ${ZAVRO_STAGE_DIR}/lib)
set(ZAVRO_STAGE_PLUGINS ${ZAVRO_STAGE_DIR}/PlugIns)
set(ZAVRO_STAGE_SHARED_SUPPORT ${ZAVRO_STAGE_DIR}/SharedSupport)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${ZAVRO_STAGE_BIN})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${ZAVRO_STAGE_LIB})
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/archive)

# Staged and installed binaries find libZavroCommon.so next door, wherever the tree is moved.
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
set(CMAKE_INSTALL_RPATH "$ORIGIN/../lib")

if(NOT DEFINED CMAKE_INSTALL_PREFIX OR CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/zavroconnect CACHE PATH "Installation prefix" FORCE)
endif()

# zavro_shared_support_tool(<target>): a program that lives in SharedSupport/ instead of bin/.
function(zavro_shared_support_tool target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${ZAVRO_STAGE_SHARED_SUPPORT}
    BUILD_RPATH "$ORIGIN/../lib"
    INSTALL_RPATH "$ORIGIN/../lib")
  install(TARGETS ${target} RUNTIME DESTINATION SharedSupport)
endfunction()

# zavro_bin_tool(<target>): a program in bin/.
function(zavro_bin_tool target)
  set_target_properties(${target} PROPERTIES BUILD_RPATH "$ORIGIN/../lib")
  install(TARGETS ${target} RUNTIME DESTINATION bin)
endfunction()

# zavro_plugin(<target>): a dlopen'ed MODULE in PlugIns/ without the "lib" prefix.
function(zavro_plugin target)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${ZAVRO_STAGE_PLUGINS}
    BUILD_RPATH "$ORIGIN/../lib"
    INSTALL_RPATH "$ORIGIN/../lib")
  install(TARGETS ${target} LIBRARY DESTINATION PlugIns)
endfunction()
