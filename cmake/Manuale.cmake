# The manual page, written from the program's help text so that the two cannot disagree:
#   cmake -DPROGRAMMA=<built program> -DINSTALLATO=<installed program> -DVERSIONE=<version>
#         -DPAGINA=<page .1.gz> -P cmake/Manuale.cmake
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

set(pagina ".TH VESSENTARIA 1 \"\" \"vessentaria ${VERSIONE}\" \"User Commands\"
.SH NAME
vessentaria \\- copies the order data of a company between Firebird archives, task by task
.SH DESCRIPTION
.nf
${aiuto}.fi
")
get_filename_component(cartella ${PAGINA} DIRECTORY)
get_filename_component(nome ${PAGINA} NAME_WLE)
file(WRITE ${cartella}/${nome} "${pagina}")
execute_process(COMMAND gzip -9nf ${cartella}/${nome} RESULT_VARIABLE esito)
if(NOT esito EQUAL 0)
  message(FATAL_ERROR "gzip of ${cartella}/${nome} ended with ${esito}")
endif()
