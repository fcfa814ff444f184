# JPEG 2000 decoding goes through OpenJPEG (see cmake/OpenJPEG.cmake).
include(${TW_ROOT}/cmake/OpenJPEG.cmake)
target_link_libraries(${TW_LIB} PUBLIC tw_openjp2)
