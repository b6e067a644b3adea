# The manual page, its sections about options, files and exit statuses taken from the program's
# help text so that the two cannot disagree:
#   cmake -DPROGRAMMA=<built program> -DINSTALLATO=<installed program> -DVERSIONE=<version>
#         -DMODELLO=<packaging/debian/vessentaria.1.in> -DPAGINA=<page .1.gz> -P cmake/Manuale.cmake
# The help names the User folder beside the program it comes from: the built one's becomes the
# installed one's.
execute_process(COMMAND ${PROGRAMMA} --help OUTPUT_VARIABLE aiuto RESULT_VARIABLE esito)
if(NOT esito EQUAL 0)
  message(FATAL_ERROR "${PROGRAMMA} --help ended with ${esito}")
endif()
get_filename_component(costruito ${PROGRAMMA} DIRECTORY)
get_filename_component(installato ${INSTALLATO} DIRECTORY)
string(REPLACE "${costruito}/User/" "${installato}/User/" aiuto "${aiuto}")

# Text as roff prints it: a backslash as \e, a minus as \- (copied from the page, an option is
# typed as printed), a line that begins with a control character kept as text.
string(REPLACE "\\" "\\e" aiuto "${aiuto}")
string(REPLACE "-" "\\-" aiuto "${aiuto}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" aiuto "${aiuto}")

# The help's blocks, each from its first line to the next block: the version line comes first,
# then the description.
set(blocchi "\n\n" "\n\nUsage: " "\n\nConfiguration" "\n\nExit status:")
set(inizi)
foreach(blocco IN LISTS blocchi)
  string(FIND "${aiuto}" "${blocco}" inizio)
  if(inizio EQUAL -1)
    message(FATAL_ERROR "the help of ${PROGRAMMA} has no block beginning with \"${blocco}\"")
  endif()
  list(APPEND inizi ${inizio})
endforeach()
string(LENGTH "${aiuto}" lunghezza)
list(APPEND inizi ${lunghezza})
set(sezioni DESCRIZIONE OPZIONI FILE STATO)
foreach(i RANGE 3)
  list(GET inizi ${i} inizio)
  math(EXPR successivo "${i} + 1")
  list(GET inizi ${successivo} fine)
  math(EXPR inizio "${inizio} + 2")
  math(EXPR lunghezza "${fine} - ${inizio}")
  string(SUBSTRING "${aiuto}" ${inizio} ${lunghezza} testo)
  string(STRIP "${testo}" testo)
  list(GET sezioni ${i} sezione)
  set(${sezione} "${testo}")
endforeach()
# OPTIONS and EXIT STATUS read as a manual page's: an entry (.TP) per option and per status, its
# tag from the help's column, its text from the lines beside and below it; lines after the last
# entry follow as a paragraph. A ';' would split CMake's list of lines: it travels as a mark.
function(voci testo inizio_voce continua uscita)
  string(REPLACE ";" "@PV@" testo "${testo}")
  string(REPLACE "\n" ";" righe "${testo}")
  set(pagina "")
  set(dopo "")
  foreach(riga IN LISTS righe)
    if(riga MATCHES "${inizio_voce}")
      string(STRIP "${CMAKE_MATCH_1}" voce)
      string(APPEND pagina ".TP\n.B ${voce}\n${CMAKE_MATCH_2}\n")
    elseif(riga MATCHES "${continua}" AND dopo STREQUAL "" AND NOT pagina STREQUAL "")
      string(APPEND pagina "${CMAKE_MATCH_1}\n")
    elseif(NOT pagina STREQUAL "")
      string(APPEND dopo "${riga}\n")
    endif()
  endforeach()
  if(NOT dopo STREQUAL "")
    string(APPEND pagina ".PP\n${dopo}")
  endif()
  if(pagina STREQUAL "")
    message(FATAL_ERROR "no entries in the help's block:\n${testo}")
  endif()
  string(REPLACE "@PV@" ";" pagina "${pagina}")
  string(STRIP "${pagina}" pagina)
  set(${uscita} "${pagina}" PARENT_SCOPE)
endfunction()
voci("${OPZIONI}" "^[Usage: ]*(vessentaria ?[^ ]*)  +(.*)$" "^                    +(.*)$" OPZIONI)
voci("${STATO}" "^  ([0-9]+) +(.*)$" "^     (.*)$" STATO)

set(README "${installato}/README.md")
configure_file(${MODELLO} ${PAGINA}.tmp @ONLY)

get_filename_component(cartella ${PAGINA} DIRECTORY)
get_filename_component(nome ${PAGINA} NAME_WLE)
file(RENAME ${PAGINA}.tmp ${cartella}/${nome})
execute_process(COMMAND gzip -9nf ${cartella}/${nome} RESULT_VARIABLE esito)
if(NOT esito EQUAL 0)
  message(FATAL_ERROR "gzip of ${cartella}/${nome} ended with ${esito}")
endif()
