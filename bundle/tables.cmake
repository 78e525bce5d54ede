# Reads the control table (plugin/control_table.def) and the preset table
# (plugin/preset_table.def) and makes the Turtle written from them. Only
# CMake reads the tables here, no program built for the target, so a cross
# build writes the same Turtle as a native one.

get_filename_component(HALVANE_CONTROL_TABLE ${CMAKE_CURRENT_LIST_DIR}/../plugin/control_table.def ABSOLUTE)
get_filename_component(HALVANE_PRESET_TABLE ${CMAKE_CURRENT_LIST_DIR}/../plugin/preset_table.def ABSOLUTE)
set(HALVANE_PRESET_URI https://halvane.example.org/lv2/halvane/presets)

# The rows MACRO(field, ...) of the table FILE, comment lines left out: sets
# ${prefix}_COUNT and, for each row i from 0, ${prefix}_<i> to the list of
# its fields, quotes removed. A ";" inside a field reads as "<semicolon>",
# so that it does not split the list; the Turtle made gets it back.
# Stops the configuration on a row without `field_count` fields.
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

# The control port blocks both plug-ins share, as halvane.ttl lists them
# inside `lv2:port [ ... ] , [ ... ]`: one block for each control, the
# blocks joined by "] , [".
function(halvane_control_ports_turtle out)
  halvane_read_rows(${HALVANE_CONTROL_TABLE} CONTROL 11 control)
  set(blocks "")
  math(EXPR last "${control_COUNT} - 1")
  foreach(i RANGE ${last})
    list(POP_FRONT control_${i} port symbol name label unit min max default scale group description)
    if(i GREATER 0)
      string(APPEND blocks "\n\t] , [\n")
    endif()
    string(APPEND blocks "\t\ta lv2:InputPort, lv2:ControlPort ;
\t\tlv2:index ${i} ;
\t\tlv2:symbol \"${symbol}\" ;
\t\tlv2:name \"${name}\" ;
\t\trdfs:comment \"${description}\" ;
\t\tunits:unit units:${unit} ;
\t\tlv2:minimum ${min} ;
\t\tlv2:maximum ${max} ;
\t\tlv2:default ${default}")
    if(scale STREQUAL "logarithmic")
      string(APPEND blocks " ;\n\t\tlv2:portProperty pprops:logarithmic")
    endif()
  endforeach()
  string(REPLACE "<semicolon>" ";" blocks "${blocks}")
  set(${out} "${blocks}" PARENT_SCOPE)
endfunction()

# Every preset for both plug-ins: `presets` gets the descriptions of
# presets.ttl, `manifest` the entries of manifest.ttl that point there.
function(halvane_presets_turtle presets manifest)
  halvane_read_rows(${HALVANE_CONTROL_TABLE} CONTROL 11 control)
  halvane_read_rows(${HALVANE_PRESET_TABLE} PRESET 15 preset)
  set(symbols "")
  math(EXPR last "${control_COUNT} - 1")
  foreach(i RANGE ${last})
    list(GET control_${i} 1 symbol)
    list(APPEND symbols ${symbol})
  endforeach()
  set(described "")
  set(listed "")
  math(EXPR last "${preset_COUNT} - 1")
  set(variants mono stereo)
  set(headings "# Mono plug-in\n" "\n# Stereo plug-in\n")
  foreach(variant heading IN ZIP_LISTS variants headings)
    set(plugin "<https://halvane.example.org/lv2/halvane/${variant}>")
    string(APPEND described "${heading}")
    foreach(p RANGE ${last})
      set(values ${preset_${p}})
      list(POP_FRONT values slug name)
      list(POP_BACK values description)
      set(uri "<${HALVANE_PRESET_URI}/${variant}/${slug}>")
      set(ports "")
      foreach(symbol value IN ZIP_LISTS symbols values)
        string(APPEND ports "\n\t\t[ lv2:symbol \"${symbol}\" ; pset:value ${value} ] ,")
      endforeach()
      string(REGEX REPLACE ",$" "." ports "${ports}")
      string(APPEND described "\n${uri}
\ta pset:Preset ;
\tlv2:appliesTo ${plugin} ;
\trdfs:label \"${name}\" ;
\trdfs:comment \"${description}\" ;
\tlv2:port${ports}\n")
      string(APPEND listed "\n${uri}
\ta pset:Preset ;
\tlv2:appliesTo ${plugin} ;
\trdfs:seeAlso <presets.ttl> .\n")
    endforeach()
  endforeach()
  string(REGEX REPLACE "\n$" "" described "${described}")
  string(REGEX REPLACE "\n$" "" listed "${listed}")
  string(REPLACE "<semicolon>" ";" described "${described}")
  string(REPLACE "<semicolon>" ";" listed "${listed}")
  set(${presets} "${described}" PARENT_SCOPE)
  set(${manifest} "${listed}" PARENT_SCOPE)
endfunction()
