# Reads the control table (plugin/control_table.def) and the preset table
# (plugin/preset_table.def) and makes the Turtle written from them. Only
# CMake reads the tables here, no program built for the target, so a cross
# build writes the same Turtle as a native one.

get_filename_component(HALVANE_CONTROL_TABLE ${CMAKE_CURRENT_LIST_DIR}/../plugin/control_table.def ABSOLUTE)
get_filename_component(HALVANE_PRESET_TABLE ${CMAKE_CURRENT_LIST_DIR}/../plugin/preset_table.def ABSOLUTE)
set(HALVANE_PRESET_URI https://halvane.example.org/lv2/halvane/presets)

# The rows MACRO(field, ...) of the table FILE, with their comment lines
# left out: sets ${prefix}_COUNT and, for each row i from 0, ${prefix}_<i>
# to the list of its fields, quotes removed. A ";" inside a field reads as
# "<semicolon>", so that it does not split the list; halvane_restore puts it
# back. Stops the configuration on a row without `field_count` fields.
function(halvane_read_rows file macro field_count prefix)
  file(READ ${file} text)
  string(REPLACE ";" "<semicolon>" text "\n${text}")
  string(REGEX REPLACE "\n[ \t]*//[^\n]*" "" text "${text}")
  string(REGEX MATCHALL "${macro}\\(([^\"()]|\"[^\"]*\")*\\)" rows "${text}")
  set(count 0)
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^${macro}\\((.*)\\)$" "\\1" body "${row}")
    string(REGEX MATCHALL "\"[^\"]*\"|[^ \t\n,\"]+" fields "${body}")
    list(LENGTH fields length)
    if(NOT length EQUAL field_count)
      message(FATAL_ERROR "${file}: ${macro} row ${count} has ${length} fields, not ${field_count}")
    endif()
    list(TRANSFORM fields REPLACE "^\"(.*)\"$" "\\1")
    set(${prefix}_${count} "${fields}" PARENT_SCOPE)
    math(EXPR count "${count} + 1")
  endforeach()
  set(${prefix}_COUNT ${count} PARENT_SCOPE)
endfunction()

function(halvane_restore var)
  string(REPLACE "<semicolon>" ";" text "${${var}}")
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

# The control table: HALVANE_CONTROL_COUNT, and for each control i the
# variables HALVANE_CONTROL_<i>_<FIELD>, FIELD being one of the column names
# below.
macro(halvane_read_controls)
  halvane_read_rows(${HALVANE_CONTROL_TABLE} CONTROL 11 _halvane_control)
  set(HALVANE_CONTROL_COUNT ${_halvane_control_COUNT})
  math(EXPR _last "${HALVANE_CONTROL_COUNT} - 1")
  foreach(_i RANGE ${_last})
    foreach(_field PORT SYMBOL NAME LABEL UNIT MIN MAX DEFAULT SCALE GROUP DESCRIPTION)
      list(POP_FRONT _halvane_control_${_i} HALVANE_CONTROL_${_i}_${_field})
      halvane_restore(HALVANE_CONTROL_${_i}_${_field})
    endforeach()
  endforeach()
endmacro()

# The preset table: HALVANE_PRESET_COUNT, and for each preset i the
# variables HALVANE_PRESET_<i>_SLUG, _NAME, _DESCRIPTION and _VALUES (the
# twelve values in port order).
macro(halvane_read_presets)
  halvane_read_rows(${HALVANE_PRESET_TABLE} PRESET 15 _halvane_preset)
  set(HALVANE_PRESET_COUNT ${_halvane_preset_COUNT})
  math(EXPR _last "${HALVANE_PRESET_COUNT} - 1")
  foreach(_i RANGE ${_last})
    list(POP_FRONT _halvane_preset_${_i} HALVANE_PRESET_${_i}_SLUG HALVANE_PRESET_${_i}_NAME)
    list(POP_BACK _halvane_preset_${_i} HALVANE_PRESET_${_i}_DESCRIPTION)
    set(HALVANE_PRESET_${_i}_VALUES ${_halvane_preset_${_i}})
    halvane_restore(HALVANE_PRESET_${_i}_NAME)
    halvane_restore(HALVANE_PRESET_${_i}_DESCRIPTION)
  endforeach()
endmacro()

# The control port blocks both plug-ins share, as halvane.ttl lists them
# inside `lv2:port [ ... ] , [ ... ]`: one block for each control, the
# blocks joined by "] , [".
function(halvane_control_ports_turtle out)
  halvane_read_controls()
  set(blocks "")
  math(EXPR last "${HALVANE_CONTROL_COUNT} - 1")
  foreach(i RANGE ${last})
    set(block "\t\ta lv2:InputPort, lv2:ControlPort ;
\t\tlv2:index ${i} ;
\t\tlv2:symbol \"${HALVANE_CONTROL_${i}_SYMBOL}\" ;
\t\tlv2:name \"${HALVANE_CONTROL_${i}_NAME}\" ;
\t\trdfs:comment \"${HALVANE_CONTROL_${i}_DESCRIPTION}\" ;
\t\tunits:unit units:${HALVANE_CONTROL_${i}_UNIT} ;
\t\tlv2:minimum ${HALVANE_CONTROL_${i}_MIN} ;
\t\tlv2:maximum ${HALVANE_CONTROL_${i}_MAX} ;
\t\tlv2:default ${HALVANE_CONTROL_${i}_DEFAULT}")
    if(HALVANE_CONTROL_${i}_SCALE STREQUAL "logarithmic")
      string(APPEND block " ;\n\t\tlv2:portProperty pprops:logarithmic")
    endif()
    if(i GREATER 0)
      string(APPEND blocks "\n\t] , [\n")
    endif()
    string(APPEND blocks "${block}")
  endforeach()
  set(${out} "${blocks}" PARENT_SCOPE)
endfunction()

# Every preset for both plug-ins: `presets` gets the descriptions of
# presets.ttl, `manifest` the entries of manifest.ttl that point there.
function(halvane_presets_turtle presets manifest)
  halvane_read_controls()
  halvane_read_presets()
  math(EXPR last_control "${HALVANE_CONTROL_COUNT} - 1")
  math(EXPR last_preset "${HALVANE_PRESET_COUNT} - 1")
  set(described "")
  set(listed "")
  foreach(variant mono stereo)
    set(plugin "<https://halvane.example.org/lv2/halvane/${variant}>")
    if(variant STREQUAL "mono")
      string(APPEND described "# Mono plug-in\n")
    else()
      string(APPEND described "\n# Stereo plug-in\n")
    endif()
    foreach(p RANGE ${last_preset})
      set(uri "<${HALVANE_PRESET_URI}/${variant}/${HALVANE_PRESET_${p}_SLUG}>")
      set(ports "")
      foreach(c RANGE ${last_control})
        list(GET HALVANE_PRESET_${p}_VALUES ${c} value)
        set(end ",")
        if(c EQUAL last_control)
          set(end ".")
        endif()
        string(APPEND ports "\n\t\t[ lv2:symbol \"${HALVANE_CONTROL_${c}_SYMBOL}\" ; pset:value ${value} ] ${end}")
      endforeach()
      string(APPEND described "\n${uri}
\ta pset:Preset ;
\tlv2:appliesTo ${plugin} ;
\trdfs:label \"${HALVANE_PRESET_${p}_NAME}\" ;
\trdfs:comment \"${HALVANE_PRESET_${p}_DESCRIPTION}\" ;
\tlv2:port${ports}\n")
      string(APPEND listed "\n${uri}
\ta pset:Preset ;
\tlv2:appliesTo ${plugin} ;
\trdfs:seeAlso <presets.ttl> .\n")
    endforeach()
  endforeach()
  string(REGEX REPLACE "\n$" "" described "${described}")
  string(REGEX REPLACE "\n$" "" listed "${listed}")
  set(${presets} "${described}" PARENT_SCOPE)
  set(${manifest} "${listed}" PARENT_SCOPE)
endfunction()
