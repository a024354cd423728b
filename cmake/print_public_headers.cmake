# cmake -P: prints the public headers of the Linux install, one a line, as paths under include/.
include(${CMAKE_CURRENT_LIST_DIR}/../serialkit/public_headers.cmake)
foreach(header ${SK_PUBLIC_HEADERS} ${SK_TESTING_HEADERS} ${SK_WIDGETS_HEADERS})
  message(NOTICE "serialkit/${header}")
endforeach()
