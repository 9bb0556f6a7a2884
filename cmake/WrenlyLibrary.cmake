# The heavy headers most translation units of a kind pull in, compiled once per target when
# WRENLY_PRECOMPILE_HEADERS is on: a third off each unit of the Asio libraries, which pays for
# the precompiled header from about four units on.
set(WRENLY_ASIO_HEADERS <boost/asio/any_io_executor.hpp> <boost/asio/awaitable.hpp>
    <boost/asio/io_context.hpp> <boost/asio/post.hpp> <boost/asio/co_spawn.hpp>
    <boost/asio/use_awaitable.hpp> <boost/asio/steady_timer.hpp> <boost/asio/thread_pool.hpp>
    <boost/system/system_error.hpp>)
set(WRENLY_QT_HEADERS <QApplication> <QWidget> <QVBoxLayout> <QHBoxLayout> <QLabel> <QPainter>
    <QString>)

# wrenly_precompile(<target> <headers...>)
function(wrenly_precompile target)
  if(WRENLY_PRECOMPILE_HEADERS)
    target_precompile_headers(${target} PRIVATE ${ARGN})
    # ccache caches such compilations only when told to ignore the header's timestamps and
    # __DATE__ and __TIME__, which the code does not use.
    if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
      set_property(TARGET ${target} PROPERTY CXX_COMPILER_LAUNCHER
        ${CMAKE_COMMAND} -E env CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${CMAKE_CXX_COMPILER_LAUNCHER})
    endif()
  endif()
endfunction()

# wrenly_add_library(NAME <name> [INTERFACE] SOURCES <files...> [PUBLIC <targets...>]
#                    [PRIVATE <targets...>] [PRECOMPILE <headers...>] [FUZZ])
# A static library (or a header-only one) that sees src/ and links its dependencies. FUZZ marks
# code that reads what peers send: it carries libFuzzer's coverage when the fuzzers are built.
function(wrenly_add_library)
  cmake_parse_arguments(L "INTERFACE;FUZZ" "NAME" "SOURCES;PUBLIC;PRIVATE;PRECOMPILE" ${ARGN})
  if(L_INTERFACE)
    add_library(${L_NAME} INTERFACE)
    target_include_directories(${L_NAME} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${L_NAME} INTERFACE ${L_PUBLIC})
    return()
  endif()
  add_library(${L_NAME} STATIC ${L_SOURCES})
  target_include_directories(${L_NAME} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${L_NAME} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  if(L_PRECOMPILE)
    wrenly_precompile(${L_NAME} ${L_PRECOMPILE})
  endif()
  if(L_FUZZ AND WRENLY_BUILD_FUZZERS)
    target_compile_options(${L_NAME} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()
