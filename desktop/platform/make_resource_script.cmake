# Writes the Windows resource script from its template and the Info dialog's
# control list, so that the controls are written down once.
#   cmake -DCONTROLS=info_dialog_controls.inc -DTEMPLATE=orrelin.rc.in -DOUTPUT=orrelin.rc
#         -P make_resource_script.cmake
# Each kind of control has one window class (a predefined ordinal) and one style.
set(class_Edit 0x81)
set(style_Edit 0x50810080)        # child, visible, border, tab stop, auto scroll
set(class_PushButton 0x80)
set(style_PushButton 0x50010000)  # child, visible, tab stop; not the default button
set(class_GroupBox 0x80)
set(style_GroupBox 0x50000007)    # child, visible, group box
set(class_Static 0x82)
set(style_Static 0x50020000)      # child, visible, group, left-aligned text

file(STRINGS ${CONTROLS} lines)
set(controls "")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^ORRELIN_CONTROL\\(([A-Za-z]+), (-?[0-9]+), (\"[^\"]*\"), ([0-9]+), ([0-9]+), ([0-9]+), ([0-9]+)\\)$")
    set(kind ${CMAKE_MATCH_1})
    if(NOT DEFINED class_${kind})
      message(FATAL_ERROR "unknown kind of control ${kind} in ${CONTROLS}")
    endif()
    string(APPEND controls "    CONTROL ${CMAKE_MATCH_3}, ${CMAKE_MATCH_2}, ${class_${kind}}, ${style_${kind}}, "
                           "${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}, ${CMAKE_MATCH_6}, ${CMAKE_MATCH_7}\n")
    math(EXPR count "${count} + 1")
  elseif(line MATCHES "^ORRELIN_CONTROL")
    message(FATAL_ERROR "cannot read this control line of ${CONTROLS}: ${line}")
  endif()
endforeach()
if(NOT count EQUAL 35)
  message(FATAL_ERROR "${CONTROLS} lists ${count} controls, not 35")
endif()
set(ORRELIN_CONTROLS "${controls}")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
