# Writes a gzipped man page from an executable's --help and --version.
# cmake -DPROGRAM=... -DNAME=... -DINCLUDE=... -DOUTPUT=... -P ManPage.cmake
execute_process(
  COMMAND help2man --no-info --section=1 --name=${NAME} --include=${INCLUDE} ${PROGRAM}
  OUTPUT_VARIABLE Page RESULT_VARIABLE Status ERROR_VARIABLE Errors)
if(NOT Status EQUAL 0)
  message(FATAL_ERROR "help2man ${PROGRAM} failed: ${Errors}")
endif()
# --help ends with the settings file of the copy that runs, here the build's;
# the page describes every copy, so that line goes.
string(REGEX REPLACE "\nThis copy uses [^\n]*" "" Page "${Page}")
get_filename_component(Plain ${OUTPUT} NAME_WLE)
get_filename_component(Folder ${OUTPUT} DIRECTORY)
file(WRITE ${Folder}/${Plain} "${Page}")
# -n: no name or time stamp in the archive, so the page builds the same each time.
execute_process(COMMAND gzip -9 -n -f ${Folder}/${Plain} RESULT_VARIABLE Status)
if(NOT Status EQUAL 0)
  message(FATAL_ERROR "gzip ${Folder}/${Plain} failed")
endif()
