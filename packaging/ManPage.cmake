# Writes a manual page from a program's --help text, gzip-compressed as Debian installs them.
#   cmake -DPROGRAM=path -DNAME=name -DSUMMARY=text -DVERSION=x.y.z -DOUTPUT=name.1.gz
#         -P ManPage.cmake
foreach(var PROGRAM NAME SUMMARY VERSION OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake needs -D${var}=...")
  endif()
endforeach()

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed (${result})")
endif()

# roff: a backslash is \e, a minus is \- (so that options copy as typed), and a line that starts
# with a dot or an apostrophe would be a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" title)

set(page ".TH ${title} 1 \"\" \"Tidewright ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH DESCRIPTION
The text that
.B ${NAME} \\-\\-help
prints:
.PP
.nf
${help}.fi
.SH SEE ALSO
.BR tidewright (1),
.BR tidewright\\-cli (1),
.BR corvanta\\-sim (1)
")

get_filename_component(dir "${OUTPUT}" DIRECTORY)
get_filename_component(base "${OUTPUT}" NAME_WLE)
set(plain "${dir}/${base}")
file(WRITE "${plain}" "${page}")
file(ARCHIVE_CREATE OUTPUT "${OUTPUT}" PATHS "${plain}" FORMAT raw COMPRESSION GZip)
