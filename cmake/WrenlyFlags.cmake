# Warnings, sanitizers and fuzzer instrumentation: added to whatever flags the build was given.
add_compile_options(-Wall -Wextra -Wshadow $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
if(WRENLY_WERROR)
  add_compile_options(-Werror)
endif()

if(WRENLY_SANITIZE)
  add_compile_options(-fsanitize=${WRENLY_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${WRENLY_SANITIZE})
  # A test stops at the first report; a fuzzer keeps going and reports at the end.
  if(WRENLY_SANITIZE MATCHES "address|undefined" AND NOT WRENLY_BUILD_FUZZERS)
    add_compile_options(-fno-sanitize-recover=all)
  endif()
  # GCC warns that it cannot see std::atomic_thread_fence; nothing here relies on one.
  if(WRENLY_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-tsan)
  endif()
endif()
