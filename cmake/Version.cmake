# Version numbers of the program, generated into a header the code includes.
set(JEX4_VERSION_HEADER ${CMAKE_CURRENT_BINARY_DIR}/generated/JexVersion.h)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/JexVersion.h.in ${JEX4_VERSION_HEADER} @ONLY)
