# The agent's shared key with the ONT, compiled in. The default is the
# published development key; a firmware image must be built with its own.
set(UPLINKD_DEV_KEY "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f")
set(UPLINKD_SECRET_KEY "${UPLINKD_DEV_KEY}" CACHE STRING
    "uplinkd's 32-byte ONT key as 64 hexadecimal digits")

string(LENGTH "${UPLINKD_SECRET_KEY}" _key_len)
if(NOT _key_len EQUAL 64 OR NOT UPLINKD_SECRET_KEY MATCHES "^[0-9a-fA-F]+$")
  message(FATAL_ERROR
    "UPLINKD_SECRET_KEY must be exactly 64 hexadecimal digits (32 bytes); "
    "got ${_key_len} characters. Example: -DUPLINKD_SECRET_KEY=$(openssl rand -hex 32)")
endif()
if(UPLINKD_SECRET_KEY STREQUAL UPLINKD_DEV_KEY)
  message(WARNING
    "uplinkd is built with the public development key. "
    "Replace it for a deployment: -DUPLINKD_SECRET_KEY=<64 hex digits>")
endif()

string(TOLOWER "${UPLINKD_SECRET_KEY}" _key)
set(UPLINKD_SECRET_KEY_BYTES "")
foreach(_i RANGE 0 62 2)
  string(SUBSTRING "${_key}" ${_i} 2 _byte)
  string(APPEND UPLINKD_SECRET_KEY_BYTES "0x${_byte}, ")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/uplinkd_key.h.in
               ${PROJECT_BINARY_DIR}/generated/uplinkd_key.h @ONLY)
