# om_add_plugin(NAME SOURCES... [VEXA] [VEXA_TRACKER])
#
# Builds one page plug-in as NAME.so: a shared object that exports exactly Body and
# GetPluginInfo and needs nothing but the C library at run time (the C++ runtime and
# libgcc are linked in statically).
#
# VEXA links the support library Vexa with its global objects (the memory manager
# "VexaMemManagerGlobal" and a metric manager), made when the plug-in is loaded and torn
# down when it is unloaded. VEXA_TRACKER implies VEXA and adds the block tracker "Global".
function(om_add_plugin name)
  cmake_parse_arguments(PLUGIN "VEXA;VEXA_TRACKER" "" "SOURCES" ${ARGN})
  add_library(${name} MODULE ${PLUGIN_SOURCES})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${OM_PLUGIN_DIR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map)
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
  target_link_libraries(${name} PRIVATE om_framework)
  if(PLUGIN_VEXA OR PLUGIN_VEXA_TRACKER)
    target_link_libraries(${name} PRIVATE vexa vexa_globals_core)
  endif()
  if(PLUGIN_VEXA_TRACKER)
    target_link_libraries(${name} PRIVATE vexa_globals_tracker)
  endif()
  target_link_options(${name} PRIVATE
    -static-libstdc++ -static-libgcc
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map
    -Wl,--as-needed)
  if(NOT OM_SANITIZE)
    # A plug-in must resolve every symbol itself or from the C library.
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  set_property(GLOBAL APPEND PROPERTY OM_PLUGINS ${name})
endfunction()
