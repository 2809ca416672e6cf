# The light and the dark style sheet come from one template, WIN11.qss.in, so
# that a rule is written once and only the colours differ: every #@name@ in it
# is a colour of this table, @look@ is "light" or "dark".
set(RELIEVA_WIN11_COLORS
  # name            light  dark
  window            F3F3F3 202020
  text              1A1A1A FFFFFF
  selection         BFD9F2 2D5A80
  disabledText      A0A0A0 787878
  popup             F9F9F9 2C2C2C
  border            E0E0E0 3A3A3A
  button            FBFBFB 2D2D2D
  buttonBottom      C4C4C4 303030
  buttonHover       F6F6F6 323232
  buttonPressed     F0F0F0 272727
  secondaryText     5D5D5D CFCFCF
  buttonDisabled    F5F5F5 262626
  accent            005FB8 60CDFF
  accentBorder      145FAE 6BD2FF
  accentBottom      003E78 4AA3CC
  accentText        FFFFFF 000000
  accentHover       1A6EC0 5BBDEB
  accentPressed     3C7FC6 52A9D1
  accentPressedText DCE9F5 1F3A47
  field             FFFFFF 2D2D2D
  fieldBottom       868686 9A9A9A
  fieldFocus        FFFFFF 1F1F1F
  stepHover         EDEDED 3A3A3A
  stepPressed       E3E3E3 333333
  itemSelected      DCE9F6 2F4559
  itemHover         EDEDED 383838
  view              FFFFFF 272727
  scrollHandle      A0A0A0 8A8A8A
  scrollHandleHover 7A7A7A ABABAB
)

# Writes WIN11LIGHT.qss, WIN11DARK.qss and a resource file naming them
# :/WIN11LIGHT and :/WIN11DARK into outdir; qrcVar receives that file.
function(relieva_win11_sheets outdir qrcVar)
  set(template ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/WIN11.qss.in)
  set(table ${RELIEVA_WIN11_COLORS})
  list(LENGTH table count)
  math(EXPR last "${count} - 1")
  set(names look)
  foreach(i RANGE 0 ${last} 3)
    list(GET table ${i} name)
    list(APPEND names ${name})
  endforeach()
  # A placeholder without a colour would silently become empty.
  file(READ ${template} text)
  string(REGEX MATCHALL "@[A-Za-z]+@" wanted "${text}")
  list(REMOVE_DUPLICATES wanted)
  foreach(placeholder IN LISTS wanted)
    string(REPLACE "@" "" name ${placeholder})
    if(NOT name IN_LIST names)
      message(FATAL_ERROR "WIN11.qss.in: no colour named ${name} in WIN11.cmake")
    endif()
  endforeach()
  foreach(look light dark)
    foreach(i RANGE 0 ${last} 3)
      list(GET table ${i} name)
      if(look STREQUAL "light")
        math(EXPR column "${i} + 1")
      else()
        math(EXPR column "${i} + 2")
      endif()
      list(GET table ${column} ${name})
    endforeach()
    string(TOUPPER ${look} LOOK)
    configure_file(${template} ${outdir}/WIN11${LOOK}.qss @ONLY NEWLINE_STYLE UNIX)
  endforeach()
  file(CONFIGURE OUTPUT ${outdir}/win11.qrc CONTENT [[<!DOCTYPE RCC>
<RCC version="1.0">
  <qresource prefix="/">
    <file alias="WIN11LIGHT">WIN11LIGHT.qss</file>
    <file alias="WIN11DARK">WIN11DARK.qss</file>
  </qresource>
</RCC>
]])
  set(${qrcVar} ${outdir}/win11.qrc PARENT_SCOPE)
endfunction()
