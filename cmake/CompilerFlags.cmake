# Warnings, Qt's safety macros and hardening for every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic)
if(QUORVANE_WERROR)
  add_compile_options(-Werror)
endif()

add_compile_definitions(
  QT_NO_CAST_FROM_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_KEYWORDS
  QT_NO_CAST_FROM_BYTEARRAY
  QT_USE_QSTRINGBUILDER
)

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_compile_options(-fstack-protector-strong -fstack-clash-protection)
if(NOT QUORVANE_SANITIZE AND NOT QUORVANE_FUZZ AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  add_compile_definitions(_FORTIFY_SOURCE=3)
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now -pie)

if(QUORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QUORVANE_DEV_OVERRIDES)
  add_compile_definitions(QUORVANE_DEV_OVERRIDES=1)
endif()

if(QUORVANE_FUZZ)
  # Coverage for everything the fuzz targets link; the targets add the fuzzer's main.
  # UndefinedBehaviorSanitizer stays in the sanitizer build: clang 14 cannot
  # combine it with fuzzer coverage in coroutine code ("Cannot represent a
  # difference across sections").
  add_compile_options(-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address)
endif()
