# SPDX-License-Identifier: MIT
# ZELVANE_SANITIZE=thread  : ThreadSanitizer
# ZELVANE_SANITIZE=address : AddressSanitizer + LeakSanitizer + UndefinedBehaviorSanitizer
if(ZELVANE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=thread)
  add_compile_definitions(ZELVANE_TSAN=1)
elseif(ZELVANE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
  add_compile_definitions(ZELVANE_ASAN=1)
elseif(NOT ZELVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZELVANE_SANITIZE must be empty, thread or address")
endif()
