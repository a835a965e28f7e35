# Installation of the libraries, their public headers, the CMake package and comm.pc.
