# The project's embedding host, ui_host, and the lilv lookup it shares with
# the Gtk2 host. Included by this folder and, in a cross build for aarch64,
# by tests/aarch64.
find_package(PkgConfig REQUIRED)
pkg_check_modules(UI_HOST_DEPS REQUIRED IMPORTED_TARGET lilv-0 x11 xres cairo)

add_library(ui_lookup STATIC ${CMAKE_CURRENT_LIST_DIR}/ui_lookup.c)
target_link_libraries(ui_lookup PUBLIC PkgConfig::UI_HOST_DEPS m)

add_executable(ui_host ${CMAKE_CURRENT_LIST_DIR}/ui_host.cpp)
target_include_directories(ui_host PRIVATE ${PROJECT_SOURCE_DIR}/ui ${PROJECT_SOURCE_DIR}/plugin)
# The GUI's model and preview: ui_host reads them to tell a completed preview.
target_link_libraries(ui_host PRIVATE ui_lookup halvane_ui_model PkgConfig::UI_HOST_DEPS ${CMAKE_DL_LIBS})
