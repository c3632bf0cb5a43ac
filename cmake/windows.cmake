# Settings of the Windows build (cmake/mingw-w64.cmake cross-builds it here).

# Windows 7 is the oldest system served. Boost.Log was built with the same value
# (scripts/windows/build-deps.sh): its names depend on it.
add_compile_definitions(
    _WIN32_WINNT=0x0601
    WINVER=0x0601
    UNICODE
    _UNICODE
    WIN32_LEAN_AND_MEAN
    NOMINMAX
    BOOST_LOG_WITHOUT_EVENT_LOG
)

# One .exe that a shop copies as it is: no DLLs of the compiler, Boost or OpenSSL beside it.
set(Boost_USE_STATIC_LIBS ON)
set(OPENSSL_USE_STATIC_LIBS ON)
add_link_options(-static)

# Windows sockets for Boost.Asio, the certificate store of OpenSSL and the random numbers of
# Boost.Filesystem; at the end of every link line, after the static libraries that need them.
set(CMAKE_CXX_STANDARD_LIBRARIES "${CMAKE_CXX_STANDARD_LIBRARIES} -lws2_32 -lmswsock -lcrypt32 -lbcrypt")

# The program's resources: icons, strings, manifest and version.
enable_language(RC)
