# The settings every product target shares, in one place. -ffp-contract=off
# reaches every target, tests included, from the top-level add_compile_options.

# halvane_product(TARGET): a library or program that ships (or, for the
# demo, draws with the GUI's code). No exceptions and no RTTI, since nothing
# in the product throws or asks a type at run time, and nothing visible
# beyond what the code marks default-visible, inline functions included.
function(halvane_product target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# halvane_lv2_module(TARGET EXPORTS_MAP): one of the bundle's shared
# libraries (halvane.so, halvane_ui.so). Written straight into the bundle
# folder of the build tree, so a host with LV2_PATH at the build tree finds
# it beside the Turtle files, and installed into the bundle under
# <prefix>/lib/lv2, where hosts look whatever the platform's library folder
# is. EXPORTS_MAP names the only symbols it exports; the C++ runtime,
# whatever little of it is used, is linked in, every symbol must resolve at
# link time, and only libraries actually used are recorded as needed.
function(halvane_lv2_module target exports_map)
  halvane_product(${target})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/halvane.lv2
    LINK_DEPENDS ${exports_map})
  target_link_options(${target} PRIVATE
    -static-libstdc++
    -static-libgcc
    -Wl,--no-undefined
    -Wl,--as-needed
    -Wl,--version-script=${exports_map})
  install(TARGETS ${target} LIBRARY DESTINATION lib/lv2/halvane.lv2)
endfunction()
