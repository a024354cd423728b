# Run by CPack on the staged files: the -dev package's static libraries without their debug
# information (a tenth of the size); the programs are stripped by CPack itself.
file(GLOB_RECURSE archives ${CPACK_TEMPORARY_DIRECTORY}/*.a)
foreach(archive ${archives})
  execute_process(COMMAND ${CPACK_SK_STRIP} --strip-debug ${archive} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
