# Asio, Beast, JSON and URL are compiled once each, in their own small libraries, instead of in
# every file that includes them: the build machines have two cores.
add_library(wrenly_asio STATIC ${PROJECT_SOURCE_DIR}/src/base/boost/AsioImpl.cpp)
target_compile_definitions(wrenly_asio PUBLIC BOOST_ASIO_SEPARATE_COMPILATION
                                              BOOST_ASIO_NO_DEPRECATED)
target_link_libraries(wrenly_asio PUBLIC Boost::headers Threads::Threads)

add_library(wrenly_asio_ssl STATIC ${PROJECT_SOURCE_DIR}/src/base/boost/AsioSslImpl.cpp)
target_link_libraries(wrenly_asio_ssl PUBLIC wrenly_asio OpenSSL::SSL OpenSSL::Crypto)

add_library(wrenly_beast STATIC ${PROJECT_SOURCE_DIR}/src/base/boost/BeastImpl.cpp)
target_compile_definitions(wrenly_beast PUBLIC BOOST_BEAST_SEPARATE_COMPILATION)
target_link_libraries(wrenly_beast PUBLIC wrenly_asio_ssl)

add_library(wrenly_json STATIC ${PROJECT_SOURCE_DIR}/src/base/boost/JsonImpl.cpp
                               ${PROJECT_SOURCE_DIR}/src/base/boost/UrlImpl.cpp)
target_compile_definitions(wrenly_json PUBLIC BOOST_JSON_NO_LIB BOOST_URL_NO_LIB)
target_link_libraries(wrenly_json PUBLIC Boost::headers)
