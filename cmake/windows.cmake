# What the Windows build needs before the libraries: the cross compiler does not search
# /usr/include, so Boost's headers (uBLAS is header-only and the same on every system)
# come from the Debian package through a folder that holds only them.
find_path(QUVA_BOOST_HEADERS boost/numeric/ublas/matrix.hpp PATHS /usr/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(QUVA_BOOST_INCLUDE ${CMAKE_BINARY_DIR}/boost-include)
file(MAKE_DIRECTORY ${QUVA_BOOST_INCLUDE})
file(CREATE_LINK ${QUVA_BOOST_HEADERS}/boost ${QUVA_BOOST_INCLUDE}/boost SYMBOLIC)
include_directories(SYSTEM ${QUVA_BOOST_INCLUDE})
